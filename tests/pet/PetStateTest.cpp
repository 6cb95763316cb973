// Pet states: raw values, per-state lookups, groups, motion rows and the bubble's one-line form.
#include "model/PetBubbleKind.h"
#include "model/PetState.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>

static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

TEST(PetStateTest, RawValuesRoundTripAndAreExact) {
    for (PetState state : kAllPetStates)
        EXPECT_EQ(petStateFromRaw(rawValue(state)), state) << rawValue(state).toStdString();
    EXPECT_EQ(petStateFromRaw(u"compactingContext"), PetState::compactingContext);
    for (const char16_t* wrong : {u"compacting_context", u"Idle", u"idle ", u"", u"react_happy"})
        EXPECT_EQ(petStateFromRaw(wrong), std::nullopt) << QString::fromUtf16(wrong).toStdString();
}

TEST(PetStateTest, SampleRows) {
    struct Row {
        PetState state;
        const char16_t* english;
        const char16_t* chinese;
        const char* image;
        const char* frames;
        double fps;
        const char* icon;
    };
    const Row rows[] = {
        {PetState::idle, u"Idle", u"待机", "idle", "idle", 4, nullptr},
        {PetState::searching, u"Searching…", u"正在搜索…", "thinking", "searching", 8, "magnifyingglass"},
        {PetState::compactingContext, u"Compacting context…", u"正在压缩上下文…", "coding", "compacting_context",
         10, nullptr},
        {PetState::success, u"Done!", u"完成！", "success", "wave", 6, nullptr},
        {PetState::warning, u"Careful — risky action.", u"小心 — 高风险操作。", "warning", "warning", 14,
         nullptr},
        {PetState::dragging, u"Walking…", u"走路中…", "idle", "walk", 12, nullptr},
        {PetState::relaxing, u"Relaxing~", u"放松一下～", "happy", "relaxing", 6, nullptr},
        {PetState::reactShoo, u"I'm busy!", u"我在忙！", "wave", "react_shoo", 10, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(rawValue(r.state).toStdString());
        EXPECT_EQ(bubbleText(r.state, Language::en), QString::fromUtf16(r.english));
        EXPECT_EQ(bubbleText(r.state, Language::zh), QString::fromUtf16(r.chinese));
        EXPECT_EQ(imageName(r.state), QString::fromLatin1(r.image));
        EXPECT_EQ(frameAnimationName(r.state), QString::fromLatin1(r.frames));
        EXPECT_EQ(frameFPS(r.state), r.fps);
        EXPECT_EQ(activityIcon(r.state), r.icon ? std::optional(QString::fromLatin1(r.icon)) : std::nullopt);
    }
}

TEST(PetStateTest, TextsThatDoNotChangeWithTheLanguage) {
    EXPECT_EQ(bubbleText(PetState::reactStartled, Language::zh), QStringLiteral("！"));
    EXPECT_EQ(bubbleText(PetState::reactStartled, Language::en), QStringLiteral("！"));
    EXPECT_EQ(bubbleText(PetState::sleeping, Language::zh), QString::fromUtf16(u"Zzz\u2026"));
    EXPECT_EQ(bubbleText(PetState::sleeping, Language::en), QString::fromUtf16(u"Zzz\u2026"));
    // The English tilde is ASCII, the Chinese one full-width.
    EXPECT_TRUE(bubbleText(PetState::reactHappy, Language::en).endsWith(QLatin1Char('~')));
    EXPECT_TRUE(bubbleText(PetState::reactHappy, Language::zh).endsWith(QChar(0xFF5E)));
}

TEST(PetStateTest, EveryStateHasArtAndExactlySixHaveBadges) {
    const std::set<QString> images{"idle",     "thinking", "coding", "input", "approval", "success",
                                   "warning",  "sleeping", "coffee", "happy", "sad",      "wave"};
    std::set<QString> usedImages;
    for (PetState state : kAllPetStates) {
        SCOPED_TRACE(rawValue(state).toStdString());
        EXPECT_TRUE(images.count(imageName(state)));
        usedImages.insert(imageName(state));
        EXPECT_FALSE(frameAnimationName(state).isEmpty());
        EXPECT_GT(frameFPS(state), 0);
        EXPECT_FALSE(bubbleText(state, Language::en).isEmpty());
        const bool activity = state >= PetState::coding && state <= PetState::planning;
        EXPECT_EQ(activityIcon(state).has_value(), activity);
    }
    EXPECT_EQ(usedImages, images);
}

TEST(PetStateTest, Groups) {
    std::set<PetState> reactions, calm, persistent;
    for (PetState state : kAllPetStates) {
        if (isReaction(state)) reactions.insert(state);
        if (isCalmState(state)) calm.insert(state);
        if (isPersistentState(state)) persistent.insert(state);
    }
    EXPECT_EQ(reactions, (std::set{PetState::reactStartled, PetState::reactGrumpy, PetState::reactShoo,
                                   PetState::reactHappy, PetState::reactShy}));
    EXPECT_EQ(calm, (std::set{PetState::idle, PetState::coffee, PetState::relaxing, PetState::walking}));
    EXPECT_EQ(persistent, (std::set{PetState::waitingApproval, PetState::waitingInput, PetState::warning}));
}

TEST(PetStateTest, AnimationRows) {
    struct Row {
        PetState state;
        PetAnimation expected;
    };
    const Row rows[] = {
        {PetState::idle, {0.985, 1.02, 0, 0, 0, 0, 0, 0, 2.3, true}},
        {PetState::compactingContext, {1, 0.92, 0, 0, 0, 0, -3, 5, 0.34, true}},
        {PetState::sleeping, {0.99, 1.012, 0, 0, 0, 0, 0, 0, 3.1, true}},
        {PetState::dragging, {1, 1, 0, 0, 0, 0, 0, 0, 0.8, true}},
        {PetState::reactShy, {1, 1, -4, 4, -4, 4, 0, 0, 0.35, true}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PetAnimation::forState(r.state), r.expected) << rawValue(r.state).toStdString();
    for (PetState state : kAllPetStates) {
        const PetAnimation a = PetAnimation::forState(state);
        EXPECT_TRUE(a.autoreverses);
        EXPECT_GT(a.duration, 0);
    }
}

TEST(PetStateTest, PlainText) {
    ApprovalPrompt prompt;
    prompt.title = QStringLiteral(" Agent wants to continue ");
    prompt.command = QStringLiteral("  rm -rf build");
    struct Row {
        PetBubbleKind kind;
        QString expected;
    };
    const Row rows[] = {
        {BubbleMessage{QStringLiteral("hello")}, QStringLiteral("hello")},
        {BubbleNarration{AgentProvider(QStringLiteral("claude")), QStringLiteral("Editing"),
                         QStringLiteral("Fixed the test")},
         QStringLiteral("Fixed the test")},
        // Joined with ": " and nothing trimmed.
        {BubbleApproval{prompt}, QStringLiteral(" Agent wants to continue :   rm -rf build")},
    };
    for (const Row& r : rows)
        EXPECT_EQ(plainText(r.kind), r.expected);
    prompt.command.clear();
    EXPECT_EQ(plainText(BubbleApproval{prompt}), QStringLiteral(" Agent wants to continue : "));
}

} // namespace
} // namespace nubbo
