// A thousand permission requests parked at once while ordinary events keep flowing, then every producer
// vanishing: the app must give back each descriptor and forget each request, and intake must never stall.
#include "intake/AgentEventBus.h"
#include "platform/JsonPreferencesDomain.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"
#include "SocketTestSupport.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>

#include <sys/resource.h>

using namespace nubbo;
using namespace nubbo::test;

namespace {

constexpr std::size_t kParked = 1000;
constexpr std::size_t kSamples = 200;

class CountingSink : public EventSink {
public:
    void apply(const AgentEvent&) override { ++applied; }
    void withdrawApproval(const QUuid&) override { ++withdrawn; }
    std::size_t applied = 0;
    std::size_t withdrawn = 0;
};

std::size_t openDescriptors() {
    std::error_code ignored;
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd", ignored),
                                                  std::filesystem::directory_iterator()));
}

// What each descriptor points at, so a failure names the one left behind.
std::string describeDescriptors() {
    std::string out;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ignored)) {
        std::error_code gone;
        const auto target = std::filesystem::read_symlink(entry.path(), gone);
        out += entry.path().filename().string() + " -> " + (gone ? "?" : target.string()) + "\n";
    }
    return out;
}

// Runs the event loop until the condition holds (bounded; the loop does the waiting).
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TEST(ParkedLoad, AThousandParkedRequestsLeaveNoDescriptorBehindAndOrdinaryEventsFlow) {
    // Both ends of every connection live in this process: room for two descriptors per request.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlim_t needed = 2 * kParked + 256;
    if (limit.rlim_cur < needed && limit.rlim_max >= needed) {
        limit.rlim_cur = limit.rlim_max;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    if (limit.rlim_cur < needed) GTEST_SKIP() << "the hard descriptor limit " << limit.rlim_max << " is below " << needed;

    TempDir dir;
    const std::string socketPath = dir.path() + "/nubbo.sock";
    JsonPreferencesDomain preferences{QString::fromStdString(dir.path() + "/preferences.json")};
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{"en-US"}; }};
    settings.setApprovalMode(ApprovalMode::manual);
    CountingSink sink;
    AgentEventBus::Options options;
    options.server.socketPath = QString::fromStdString(socketPath);
    options.server.log = [](const QString&) {};
    options.agentLogPath = QString::fromStdString(dir.path() + "/agent.log");
    AgentEventBus bus(settings, sink, options);
    bus.start();
    ASSERT_TRUE(bus.socketServer().waitUntilStarted(5s));
    // One ordinary round trip first, so the log's and the loop's own descriptors are all counted.
    ASSERT_EQ(requestReply(socketPath, R"({"provider":"claude","type":"thinking","sessionId":"warm"})" "\n"),
              "{\"ok\":true}\n");
    const std::size_t before = openDescriptors();
    const std::string beforeList = describeDescriptors();

    std::vector<std::unique_ptr<Client>> producers;
    producers.reserve(kParked);
    for (std::size_t i = 0; i < kParked; ++i) {
        auto producer = std::make_unique<Client>(socketPath);
        ASSERT_TRUE(producer->connected()) << "producer " << i;
        producer->send(R"({"provider":"claude","type":"approvalRequired","toolName":"Bash","command":"rm -rf build/)" +
                       std::to_string(i) + R"(","sessionId":"p)" + std::to_string(i) + "\"}\n");
        producers.push_back(std::move(producer));
    }
    ASSERT_TRUE(waitUntil([&] { return bus.parkedCount() == kParked; })) << bus.parkedCount() << " parked";
    EXPECT_EQ(bus.socketServer().parkedCount(), kParked);

    // A producer stalled halfway through its line shares the server with everyone else meanwhile.
    Client stalled(socketPath);
    stalled.send(R"({"provider":"claude","type":"coding","sessionId")");
    std::vector<double> roundTripsMs;
    for (std::size_t i = 0; i < kSamples; ++i) {
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(requestReply(socketPath, R"({"provider":"claude","type":"coding","toolName":"Read","sessionId":"o"})" "\n"),
                  "{\"ok\":true}\n");
        roundTripsMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count());
    }
    std::sort(roundTripsMs.begin(), roundTripsMs.end());
    const double p99 = roundTripsMs[roundTripsMs.size() * 99 / 100];
    const std::size_t during = openDescriptors();
    EXPECT_GE(during, before + 2 * kParked) << "each parked request holds one descriptor at each end";
    EXPECT_LT(p99, 250.0) << "ordinary events waited behind the parked ones";

    producers.clear();
    stalled.close();
    EXPECT_TRUE(waitUntil([&] { return bus.parkedCount() == 0 && bus.socketServer().parkedCount() == 0; }))
        << bus.parkedCount() << " still parked";
    EXPECT_TRUE(waitUntil([&] { return sink.withdrawn == kParked; })) << sink.withdrawn << " cards withdrawn";
    EXPECT_TRUE(waitUntil([&] { return openDescriptors() <= before; }))
        << openDescriptors() << " descriptors open, " << before << " before:\n"
        << beforeList << "now:\n" << describeDescriptors();
    EXPECT_EQ(requestReply(socketPath, R"({"provider":"claude","type":"responding","sessionId":"o"})" "\n"),
              "{\"ok\":true}\n");

    const std::size_t after = openDescriptors();
    std::cout << "parked at once: "
              << kParked << ", parked after the producers left: " << bus.parkedCount() << "; ordinary round trip p50 " << roundTripsMs[roundTripsMs.size() / 2] << " ms, p99 " << p99
              << " ms, max " << roundTripsMs.back() << " ms; descriptors before " << before << ", while parked "
              << during << ", after " << after << "\n";
    RecordProperty("parked", static_cast<int>(kParked));
    RecordProperty("p99_us", static_cast<int>(p99 * 1000));
    RecordProperty("fds_after_minus_before", static_cast<int>(after) - static_cast<int>(before));
}

} // namespace
