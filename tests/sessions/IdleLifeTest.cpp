#include "sessions/IdleLife.h"

#include "sessions/AgentSessionStore.h"
#include "ManualTime.h"
#include "model/NarrationSummarizer.h"
#include "model/PetRenderer.h"
#include "platform/PreferencesDomain.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace nubbo {
namespace {

using fakes::MemoryPreferences;

class RecordingPet final : public PetRenderer {
public:
    explicit RecordingPet(const Clock& clock) : clock_(clock) {}
    void render(PetState state, const std::optional<PetBubbleKind>& bubble, bool persistent,
                const std::optional<AgentProvider>& provider) override {
        idleLook = !bubble && !persistent && !provider;
        shown.emplace_back(clock_.now(), state);
    }
    double facing() const override { return facings.empty() ? 1.0 : facings.back(); }
    void setFacing(double facing) override { facings.push_back(facing); }
    std::vector<std::pair<double, PetState>> shown;
    std::vector<double> facings;
    bool idleLook = false;

private:
    const Clock& clock_;
};

// Picks the last candidate (drowsy, whenever it is offered), the shortest hold, and records each pick's range.
class ScriptedRandom final : public Random {
public:
    double uniform() override { return uniforms.empty() ? 0.0 : uniforms[next++ % uniforms.size()]; }
    int uniformInt(int low, int high) override {
        picks.emplace_back(low, high);
        return high;
    }
    std::vector<double> uniforms;
    std::size_t next = 0;
    std::vector<std::pair<int, int>> picks;
};

class IdleLifeTest : public ::testing::Test {
protected:
    static constexpr double kStart = 1000.0;

    IdleLifeTest() { clock.set(kStart); }
    void tickFor(double seconds) {
        for (int i = 0; i < static_cast<int>(seconds / 0.2 + 0.5); ++i) {
            clock.set(clock.now() + 0.2);
            store.tick();
        }
    }
    static AgentEvent event(AgentEventType type) {
        return AgentEvent{QUuid::createUuid(), AgentProvider(QStringLiteral("claude")), type, QStringLiteral("hi"),
                          {}, {}, {}, {}, {}, QStringLiteral("s1"), {}, {}};
    }

    MemoryPreferences preferences;
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{QStringLiteral("en-US")}; }};
    fakes::ManualClock clock;
    fakes::SeededRandom random{42};
    ScriptedRandom scripted;
    RecordingPet pet{clock};
    NullSummarizer summarizer;
    AgentSessionStore store{settings, pet, clock, random, {}, summarizer};
};

TEST_F(IdleLifeTest, WithoutSleepTheAwakeScenesCycleWithoutRepeats) {
    settings.setIdleSleepMinutes(0);
    tickFor(0.2);
    ASSERT_EQ(pet.shown.size(), 1u);  // nothing held yet: a scene at once
    EXPECT_TRUE(pet.idleLook);
    tickFor(3600);

    std::set<PetState> seen{pet.shown.back().second};
    for (std::size_t i = 0; i + 1 < pet.shown.size(); ++i) {
        const auto [at, scene] = pet.shown[i];
        seen.insert(scene);
        EXPECT_NE(pet.shown[i + 1].second, scene);
        const double held = pet.shown[i + 1].first - at;
        EXPECT_GE(held, IdleLife::holdRange(scene).low - 1e-6);
        EXPECT_LE(held, IdleLife::holdRange(scene).high + 0.2 + 1e-6);
    }
    EXPECT_EQ(seen, std::set<PetState>(IdleLife::kAwakeScenes.begin(), IdleLife::kAwakeScenes.end()));
    EXPECT_GT(pet.shown.size(), 400u);
}

TEST_F(IdleLifeTest, DrowsinessGrowsLikelierAsSleepNears) {
    settings.setIdleSleepMinutes(10);
    IdleLife life(settings, pet, scripted);
    // How many candidates the pick at t chose from (drowsy again with a fresh hold reports no change).
    const auto offeredAt = [&](double t) {
        const std::size_t before = scripted.picks.size();
        life.advance(kStart + t);
        EXPECT_EQ(scripted.picks.size(), before + 1) << t;
        return scripted.picks.back().second + 1;
    };
    EXPECT_EQ(offeredAt(0), 3);      // idle left out, no drowsy yet
    EXPECT_EQ(life.phase(), PetState::walking);
    EXPECT_EQ(offeredAt(301), 4);    // just past half: one drowsy ticket
    EXPECT_EQ(life.phase(), PetState::drowsy);
    EXPECT_EQ(offeredAt(450), 4 + 2);
    EXPECT_EQ(offeredAt(590), 4 + 3);
    EXPECT_EQ(offeredAt(600), 4 + 4);

    // Drowsy already when sleep time comes: still 30 s of it before sleep, not just its own short hold.
    EXPECT_FALSE(life.advance(kStart + 605));
    EXPECT_FALSE(life.advance(kStart + 629));
    EXPECT_TRUE(life.advance(kStart + 630.2));
    EXPECT_EQ(life.phase(), PetState::sleeping);
    EXPECT_FALSE(life.advance(kStart + 20000));
}

TEST_F(IdleLifeTest, GrowsDrowsyThenSleepsAndASessionTakesOver) {
    settings.setIdleSleepMinutes(10);
    tickFor(0.2);
    const double since = *store.idleLife().idleSince();
    tickFor(700);

    const auto firstOf = [&](PetState state) {
        for (const auto& [at, scene] : pet.shown)
            if (scene == state)
                return at - since;
        return -1.0;
    };
    EXPECT_GT(firstOf(PetState::drowsy), 300);
    EXPECT_LE(firstOf(PetState::drowsy), 600.4);
    EXPECT_GE(firstOf(PetState::sleeping), 630);
    EXPECT_LE(firstOf(PetState::sleeping), 631);
    EXPECT_EQ(pet.shown.back().second, PetState::sleeping);
    for (const auto& [at, scene] : pet.shown)
        EXPECT_TRUE(at - since <= 600.4 || scene == PetState::drowsy || scene == PetState::sleeping) << at - since;

    store.apply(event(AgentEventType::thinking));
    EXPECT_EQ(pet.shown.back().second, PetState::thinking);
    EXPECT_FALSE(store.idleLife().idleSince());
    store.apply(event(AgentEventType::agentStopped));
    EXPECT_EQ(pet.shown.back().second, PetState::idle);
    tickFor(0.2);
    EXPECT_EQ(*store.idleLife().idleSince(), clock.now());
    EXPECT_NE(store.idleLife().phase(), PetState::sleeping);
}

TEST_F(IdleLifeTest, PauseSleepsUntilItsHoldEnds) {
    settings.setPauseNubbo(true);
    IdleLife life(settings, pet, scripted);
    EXPECT_TRUE(life.advance(kStart));
    EXPECT_FALSE(life.advance(kStart + 0.2));
    EXPECT_EQ(life.phase(), PetState::sleeping);
    EXPECT_FALSE(life.idleSince());

    tickFor(10);
    ASSERT_EQ(pet.shown.size(), 1u);
    EXPECT_EQ(pet.shown[0].second, PetState::sleeping);

    settings.setPauseNubbo(false);
    settings.setIdleSleepMinutes(0);
    tickFor(9000);
    EXPECT_EQ(pet.shown.size(), 1u);
    tickFor(1000);
    EXPECT_NE(pet.shown.back().second, PetState::sleeping);
}

TEST_F(IdleLifeTest, EveryWalkFacesARandomWay) {
    IdleLife life(settings, pet, scripted);
    scripted.uniforms = {0.2, 0.8};
    life.setPhase(PetState::walking, kStart, 5);
    life.render();
    life.render();
    EXPECT_EQ(pet.facings, (std::vector{1.0, -1.0}));
    EXPECT_TRUE(pet.idleLook);
    EXPECT_FALSE(life.setPhase(PetState::walking, kStart + 1, 5));
    EXPECT_EQ(life.phaseUntil(), kStart + 6);

    life.setPhase(PetState::coffee, kStart, 5);
    life.render();
    EXPECT_EQ(pet.facings.size(), 2u);
    EXPECT_EQ(pet.shown.back().second, PetState::coffee);
}

} // namespace
} // namespace nubbo
