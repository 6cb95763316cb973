// Intake with the bus and the agent log in the path: a loopback client sends events (one connection per
// event, as the bridge does) and each event's time from the client's write to its arrival on the main
// thread is measured in process.
#include "AgentEventBus.h"
#include "BenchSupport.h"
#include "JsonPreferencesDomain.h"
#include "LoginItem.h"
#include "SecretStore.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace nubbo;
using namespace nubbo::bench;

namespace {

class NoSecrets : public SecretStore {
public:
    std::optional<QString> string(const QString&) override { return std::nullopt; }
    void set(const QString&, const QString&) override {}
    void remove(const QString&) override {}
};

class NoLoginItem : public LoginItem {
public:
    void set(bool) override {}
};

// Reads the send time the client put in the message.
class LatencySink : public EventSink {
public:
    explicit LatencySink(std::size_t expected) : expected_(expected) { latencies.reserve(expected); }
    void apply(const AgentEvent& event) override {
        const auto now = nowNs();
        latencies.push_back(now - event.message.toLongLong());
        lastArrival = now;
        if (latencies.size() == expected_) QCoreApplication::quit();
    }
    std::vector<Nanos> latencies;
    Nanos lastArrival = 0;

private:
    std::size_t expected_;
};


double percentileMs(std::vector<Nanos> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return static_cast<double>(values[index]) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long events = argNumber(argc, argv, "--events", 20000);
    TempDir dir("nubbo-bus");
    const std::string socketPath = dir.path() + "/nubbo.sock";
    const QString agentLog = QString::fromStdString(dir.path() + "/agent.log");

    JsonPreferencesDomain preferences(QString::fromStdString(dir.path() + "/preferences.json"));
    NoSecrets secrets;
    NoLoginItem loginItem;
    SettingsStore settings(preferences, secrets, loginItem, [] { return QStringList{"en"}; });
    LatencySink sink(static_cast<std::size_t>(events));
    AgentEventBus::Options options;
    options.server.socketPath = QString::fromStdString(socketPath);
    options.server.log = [](const QString&) {};
    options.agentLogPath = agentLog;
    options.startDetector = false;
    AgentEventBus bus(settings, sink, options);
    bus.start();
    if (!bus.socketServer().waitUntilStarted(std::chrono::seconds(5))) {
        std::fprintf(stderr, "the server did not start\n");
        return 1;
    }

    long sent = 0;
    Nanos firstSend = 0;
    std::thread client([&] {
        firstSend = nowNs();
        for (long i = 0; i < events; ++i) {
            const std::string line = R"({"provider":"claude","type":"coding","toolName":"Bash","command":"npm test",)"
                                     R"("sessionId":"dd943cc6","message":")" + std::to_string(nowNs()) + "\"}\n";
            sent += sendLine(socketPath, line) ? 1 : 0;
        }
    });
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);  // bound: never hang on a lost event
    QCoreApplication::exec();
    client.join();

    QFile log(agentLog);
    log.open(QIODevice::ReadOnly);
    const auto logged = log.readAll().count('\n');
    const double seconds = static_cast<double>(sink.lastArrival - firstSend) / 1e9;
    std::printf("bus intake: %ld sent, %zu reached the main thread, %lld agent-log lines\n", sent,
                sink.latencies.size(), static_cast<long long>(logged));
    std::printf("  throughput %.0f events/s; write-to-main-thread latency p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                static_cast<double>(sink.latencies.size()) / seconds, percentileMs(sink.latencies, 0.50),
                percentileMs(sink.latencies, 0.99), percentileMs(sink.latencies, 1.0));
    const bool goal = static_cast<double>(sink.latencies.size()) / seconds >= 5000 && percentileMs(sink.latencies, 0.99) < 5;
    std::printf("  goal >= 5,000 events/s with p99 < 5 ms, none lost: %s\n",
                goal && logged == sent && static_cast<long>(sink.latencies.size()) == sent ? "met" : "NOT met");
    return static_cast<long>(sink.latencies.size()) == sent && logged == sent ? 0 : 1;
}
