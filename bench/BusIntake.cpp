// Intake with the bus and the agent log in the path: a loopback client sends events (one connection per
// event, as the bridge does) and each event's time from the client's write to its arrival on the main
// thread is measured in process. Then the same with the session store behind the bus, side by side with
// smart summary off and on; "on" points at a provider that accepts connections and never answers, and
// every event carries new narration, so the summariser keeps requests hanging the whole run.
#include "intake/AgentEventBus.h"
#include "sessions/AgentSessionStore.h"
#include "summary/AgentSummarizer.h"
#include "BenchSupport.h"
#include "platform/Clock.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/LoginItem.h"
#include "model/PetRenderer.h"
#include "platform/SecretStore.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace nubbo;
using namespace nubbo::bench;

namespace {

// Holds one API key, as the keychain would.
class OneSecret : public SecretStore {
public:
    std::optional<QString> string(const QString& key) override {
        return key == QLatin1String("apiKey.custom") ? std::optional<QString>(QStringLiteral("sk-bench")) : std::nullopt;
    }
    void set(const QString&, const QString&) override {}
    void remove(const QString&) override {}
};

class NoLoginItem : public LoginItem {
public:
    void set(bool) override {}
};

class NoPet : public PetRenderer {
public:
    void render(PetState, const std::optional<PetBubbleKind>&, bool, const std::optional<AgentProvider>&) override {}
    double facing() const override { return 1.0; }
    void setFacing(double) override {}
};

// Reads the send time the client put in the message, after the store behind it (if any) has taken the event.
class LatencySink : public EventSink {
public:
    LatencySink(std::size_t expected, EventSink* next) : expected_(expected), next_(next) { latencies.reserve(expected); }
    void apply(const AgentEvent& event) override {
        if (next_) next_->apply(event);
        const auto now = nowNs();
        latencies.push_back(now - event.message.toLongLong());
        lastArrival = now;
        if (latencies.size() == expected_) QCoreApplication::quit();
    }
    std::vector<Nanos> latencies;
    Nanos lastArrival = 0;

private:
    std::size_t expected_;
    EventSink* next_;
};

// A provider that takes every connection and never says a word.
class SilentProvider {
public:
    SilentProvider() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd_, 64) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            while (true) {
                const int client = ::accept(fd_, nullptr, nullptr);
                if (client < 0) return;
                connections_.push_back(client);
                ++accepted_;
            }
        });
    }
    ~SilentProvider() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        if (thread_.joinable()) thread_.join();
        for (const int client : connections_) ::close(client);
    }
    int port() const { return port_; }
    std::size_t connections() const { return accepted_.load(); }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::vector<int> connections_;  // the accepting thread's
    std::atomic<std::size_t> accepted_{0};
};

double percentileMs(std::vector<Nanos> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return static_cast<double>(values[index]) / 1e6;
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

enum class Path { bus, summaryOff, summaryOn };

struct Run {
    long sent = 0;
    std::size_t arrived = 0;
    long long logged = 0;
    double perSecond = 0, p50 = 0, p99 = 0, max = 0;
    double cpuUsPerEvent = 0;  // the whole process (client, socket thread, main thread, summariser)
    int summaryRequests = 0;
    std::size_t providerConnections = 0;
    bool complete() const { return static_cast<long>(arrived) == sent && logged == sent; }
};

Run runOnce(Path path, long events) {
    TempDir dir("nubbo-bus");
    const std::string socketPath = dir.path() + "/nubbo.sock";
    const QString agentLog = QString::fromStdString(dir.path() + "/agent.log");

    JsonPreferencesDomain preferences(QString::fromStdString(dir.path() + "/preferences.json"));
    OneSecret secrets;
    NoLoginItem loginItem;
    SettingsStore settings(preferences, secrets, loginItem, [] { return QStringList{"en"}; });
    SilentProvider provider;
    settings.setSmartSummary(path == Path::summaryOn);
    settings.setSummaryProvider(SummaryProvider::custom);
    settings.setSummaryBaseURL(QStringLiteral("http://127.0.0.1:%1/v1").arg(provider.port()), SummaryProvider::custom);

    SystemClock clock;
    SystemRandom random;
    NoPet pet;
    std::unique_ptr<AgentSummarizer> summarizer;
    std::unique_ptr<AgentSessionStore> store;
    if (path != Path::bus) {
        summarizer = std::make_unique<AgentSummarizer>(
            settings, secrets, clock, [&](const QString& key, const QString& text, const QString& forSay) {
                store->setSummary(key, text, forSay);
            });
        // Off is the same summariser with the switch off, as the app runs it.
        store = std::make_unique<AgentSessionStore>(settings, pet, clock, random, AgentSessionStore::Notify{}, *summarizer);
        store->start();
    }
    LatencySink sink(static_cast<std::size_t>(events), store.get());
    AgentEventBus::Options options;
    options.server.socketPath = QString::fromStdString(socketPath);
    options.server.log = [](const QString&) {};
    options.agentLogPath = agentLog;
    AgentEventBus bus(settings, sink, options);
    bus.start();
    Run run;
    if (!bus.socketServer().waitUntilStarted(std::chrono::seconds(5))) {
        std::fprintf(stderr, "the server did not start\n");
        return run;
    }

    const double cpuBefore = cpuSeconds();
    Nanos firstSend = 0;
    std::thread client([&] {
        firstSend = nowNs();
        for (long i = 0; i < events; ++i) {
            // 64 sessions, each event with narration it has not said before.
            const std::string line = R"({"provider":"claude","type":"coding","toolName":"Bash","command":"npm test",)"
                                     R"("sessionId":"s)" + std::to_string(i % 64) + R"(","say":"Step )" +
                                     std::to_string(i) + R"(: running the test suite again.","message":")" +
                                     std::to_string(nowNs()) + "\"}\n";
            run.sent += sendLine(socketPath, line) ? 1 : 0;
        }
    });
    // Never hang on a lost event; the bound belongs to this run only.
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, QCoreApplication::instance(), &QCoreApplication::quit);
    bound.start(60000);
    QCoreApplication::exec();
    client.join();
    run.cpuUsPerEvent = (cpuSeconds() - cpuBefore) * 1e6 / static_cast<double>(std::max(1L, run.sent));

    QFile log(agentLog);
    log.open(QIODevice::ReadOnly);
    run.logged = log.readAll().count('\n');
    run.arrived = sink.latencies.size();
    run.perSecond = static_cast<double>(run.arrived) / (static_cast<double>(sink.lastArrival - firstSend) / 1e9);
    run.p50 = percentileMs(sink.latencies, 0.50);
    run.p99 = percentileMs(sink.latencies, 0.99);
    run.max = percentileMs(sink.latencies, 1.0);
    if (summarizer) {
        summarizer->waitUntilHandedOver();
        run.summaryRequests = summarizer->requestsSent();
    }
    run.providerConnections = provider.connections();
    return run;  // the bus goes first, then the store, then the summariser
}

// CPU seconds of this process's threads whose name starts with `prefix` (clock-tick resolution).
double threadCpuSeconds(const std::string& prefix) {
    double total = 0;
    QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith(QByteArray::fromStdString(prefix))) continue;
        QFile stat(tasks.filePath(tid + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // Fields after the parenthesised name: state is the 3rd field, utime the 14th, stime the 15th.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        total += static_cast<double>(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
                 static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    return total;
}

// The summariser alone: what one narration costs the caller's thread, and its own thread and Qt's network
// thread, when every session already has a request hanging (the case of a provider that never answers).
void summariserCost(long calls) {
    TempDir dir("nubbo-summary-cost");
    JsonPreferencesDomain preferences(QString::fromStdString(dir.path() + "/preferences.json"));
    OneSecret secrets;
    NoLoginItem loginItem;
    SettingsStore settings(preferences, secrets, loginItem, [] { return QStringList{"en"}; });
    SilentProvider provider;
    settings.setSmartSummary(true);
    settings.setSummaryProvider(SummaryProvider::custom);
    settings.setSummaryBaseURL(QStringLiteral("http://127.0.0.1:%1/v1").arg(provider.port()), SummaryProvider::custom);
    SystemClock clock;
    AgentSummarizer summarizer(settings, secrets, clock, [](const QString&, const QString&, const QString&) {});
    std::vector<QString> says;
    says.reserve(static_cast<std::size_t>(calls));
    for (long i = 0; i < calls; ++i) says.push_back(QStringLiteral("Step %1: running the test suite again.").arg(i));
    const QString sessions[4] = {"claude:a", "claude:b", "codex:c", "gemini:d"};
    for (const QString& session : sessions) summarizer.summarize(session, QStringLiteral("Warm-up."), QString());
    summarizer.waitUntilHandedOver();

    const double ownBefore = threadCpuSeconds("nubbo.summari") + threadCpuSeconds("QNetworkAccess");
    const Nanos start = nowNs();
    for (long i = 0; i < calls; ++i)
        summarizer.summarize(sessions[i % 4], says[static_cast<std::size_t>(i)], QStringLiteral("Running npm test"));
    const Nanos callerNs = nowNs() - start;
    summarizer.waitUntilHandedOver();
    const double ownSeconds = threadCpuSeconds("nubbo.summari") + threadCpuSeconds("QNetworkAccess") - ownBefore;
    std::printf("summariser alone, %ld narrations for 4 sessions with requests hanging: caller %.2f us each, "
                "its own threads %.2f us each (%d requests sent)\n",
                calls, static_cast<double>(callerNs) / 1e3 / static_cast<double>(calls),
                ownSeconds * 1e6 / static_cast<double>(calls), summarizer.requestsSent());
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long events = argNumber(argc, argv, "--events", 20000);
    const long rounds = argNumber(argc, argv, "--rounds", 6);
    bool complete = true;

    const Run bare = runOnce(Path::bus, events);
    complete = complete && bare.complete();
    std::printf("bus intake: %ld sent, %zu reached the main thread, %lld agent-log lines\n", bare.sent, bare.arrived,
                bare.logged);
    std::printf("  throughput %.0f events/s; write-to-main-thread latency p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                bare.perSecond, bare.p50, bare.p99, bare.max);
    const bool goal = bare.perSecond >= 5000 && bare.p99 < 5;
    std::printf("  goal >= 5,000 events/s with p99 < 5 ms, none lost: %s\n",
                goal && bare.complete() ? "met" : "NOT met");

    // Alternating rounds, so that a slow moment of the machine hits both sides alike.
    std::printf("\nbus + session store, every event with new narration, 64 sessions; smart summary off vs on\n"
                "(on: a provider on 127.0.0.1 that accepts and never answers)\n");
    std::vector<double> rate[2], p50[2], p99[2], cpu[2];
    for (long round = 0; round < rounds; ++round) {
        const std::string only = argValue(argc, argv, "--only", "");  // "off" or "on": one side, for a profiler
        // The side that runs second in a round has the previous run's sockets and heap behind it: swap.
        const Path order[2] = {round % 2 ? Path::summaryOn : Path::summaryOff, round % 2 ? Path::summaryOff : Path::summaryOn};
        for (const Path path : order) {
            if (!only.empty() && only != (path == Path::summaryOn ? "on" : "off")) continue;
            const Run run = runOnce(path, events);
            const int side = path == Path::summaryOn ? 1 : 0;
            complete = complete && run.complete();
            rate[side].push_back(run.perSecond);
            p50[side].push_back(run.p50);
            p99[side].push_back(run.p99);
            cpu[side].push_back(run.cpuUsPerEvent);
            std::printf("  round %ld %-3s %6.0f events/s  p50 %.3f ms  p99 %.3f ms  max %7.3f ms  cpu %.1f us/event  %zu/%ld arrived",
                        round + 1, side ? "on" : "off", run.perSecond, run.p50, run.p99, run.max, run.cpuUsPerEvent,
                        run.arrived, run.sent);
            if (side) std::printf("  %d requests hanging, %zu connections open", run.summaryRequests, run.providerConnections);
            std::printf("\n");
        }
    }
    std::printf("  median off: %.0f events/s, p50 %.3f ms, p99 %.3f ms, cpu %.1f us/event\n", median(rate[0]),
                median(p50[0]), median(p99[0]), median(cpu[0]));
    std::printf("  median on:  %.0f events/s, p50 %.3f ms, p99 %.3f ms, cpu %.1f us/event (on/off: throughput %.2f, cpu %.2f)\n",
                median(rate[1]), median(p50[1]), median(p99[1]), median(cpu[1]),
                median(rate[0]) > 0 ? median(rate[1]) / median(rate[0]) : 0.0,
                median(cpu[0]) > 0 ? median(cpu[1]) / median(cpu[0]) : 0.0);
    std::printf("\n");
    summariserCost(argNumber(argc, argv, "--calls", 1000000));
    return complete ? 0 : 1;
}
