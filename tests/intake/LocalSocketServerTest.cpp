// The socket server through a real Unix socket, as producers see it.
#include "SocketTestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nubbo;
using namespace nubbo::test;

namespace {

const std::string kOk = "{\"ok\":true}\n";
const std::string kBad = "{\"ok\":false}\n";

class SocketServerTest : public ::testing::Test {
protected:
    void SetUp() override { startServer(); }

    void startServer(std::chrono::milliseconds readTimeout = 300ms) {
        LocalSocketServer::Options options;
        options.socketPath = QString::fromStdString(path);
        options.readTimeout = readTimeout;
        options.socketCheckInterval = 50ms;
        options.log = log.function();
        server = std::make_unique<LocalSocketServer>(options);
        recorder.attach(*server);
        server->start();
        ASSERT_TRUE(server->waitUntilStarted(5s));
    }

    AgentEvent deliver(std::string_view line) {
        EXPECT_EQ(requestReply(path, line), kOk) << line;
        auto delivered = recorder.next();
        EXPECT_TRUE(delivered.has_value()) << line;
        return delivered ? delivered->event : AgentEvent{};
    }

    TempDir dir;
    std::string path = dir.path() + "/nubbo.sock";
    LogCapture log;
    Recorder recorder;
    std::unique_ptr<LocalSocketServer> server;
};

TEST_F(SocketServerTest, ListensOnAPrivateSocketAndLogsIt) {
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(log.lines().contains(QString::fromStdString("nubbo socket listening at " + path)));
}

TEST_F(SocketServerTest, DecodesRequestsIntoEvents) {
    auto event = deliver(R"({"type":"coding"})" "\n");
    EXPECT_EQ(event.provider.rawValue(), "claude");
    EXPECT_EQ(event.type, AgentEventType::coding);
    EXPECT_EQ(event.message, "");
    EXPECT_FALSE(event.id.isNull());

    event = deliver(R"({"provider":"Codex","type":"Stop"})" "\n");
    EXPECT_EQ(event.provider.rawValue(), "codex");
    EXPECT_EQ(event.type, AgentEventType::thinking);

    event = deliver(R"({"provider":"claude","type":"coding","message":"","toolName":"Bash","command":"ls",)"
                    R"("say":"Listing.","phase":"post","cwd":"/p","sessionId":"s1","exitCode":-2,"extra":[1]})" "\n");
    EXPECT_EQ(event.message, "Bash");
    EXPECT_EQ(event.command, "ls");
    EXPECT_EQ(event.say, "Listing.");
    EXPECT_EQ(event.phase, "post");
    EXPECT_EQ(event.cwd, "/p");
    EXPECT_EQ(event.sessionId, "s1");
    EXPECT_EQ(event.exitCode, -2);

    // Null counts as absent; an empty string stays an empty string.
    event = deliver(R"({"provider":null,"type":null,"command":null,"cwd":""})" "\n");
    EXPECT_EQ(event.provider.rawValue(), "claude");
    EXPECT_EQ(event.type, AgentEventType::thinking);
    EXPECT_EQ(event.command, std::nullopt);
    EXPECT_EQ(event.cwd, std::optional<QString>(""));

    // A request that ends at end of stream instead of a newline is read to the end.
    Client client(path);
    client.send(R"({"provider":"gemini","type":"taskCompleted","message":"完成"})");
    client.shutdownWrite();
    EXPECT_EQ(client.readAll(), kOk);
    event = recorder.next()->event;
    EXPECT_EQ(event.type, AgentEventType::taskCompleted);
    EXPECT_EQ(event.message, "完成");
}

TEST_F(SocketServerTest, RejectsUnreadableRequests) {
    const std::string bad[] = {
        R"({"provider":"claude","exitCode":"1"})" "\n",   // wrong member types
        R"({"provider":5})" "\n",
        R"({"message":["a"]})" "\n",
        R"({"exitCode":1.5})" "\n",
        R"({"exitCode":2147483648})" "\n",
        "not json\n",
        "[1,2]\n",
        "\n",
        "{\"message\":\"\xC3\x28\"}\n",                      // invalid UTF-8
    };
    for (const auto& request : bad) EXPECT_EQ(requestReply(path, request), kBad) << request;

    Client silent(path);  // connects and closes without sending anything
    silent.shutdownWrite();
    EXPECT_EQ(silent.readAll(), kBad);
    EXPECT_EQ(recorder.count(), 0u);
}

TEST_F(SocketServerTest, ReadsAtMost65536Bytes) {
    const std::string head = R"({"type":"coding","message":")";
    const std::string exact = head + std::string(65536 - head.size() - 2, 'x') + "\"}";
    ASSERT_EQ(exact.size(), 65536u);
    Client client(path);
    client.send(exact);  // no newline, and the connection stays open: the limit alone ends the read
    EXPECT_EQ(client.readAll(), kOk);
    EXPECT_EQ(recorder.next()->event.message.size(), 65536 - static_cast<qsizetype>(head.size()) - 2);

    const std::string over = head + std::string(65536, 'x') + "\"}\n";
    EXPECT_EQ(requestReply(path, over), kBad);
}

TEST_F(SocketServerTest, ParksApprovalRequestsUntilTheirVerdicts) {
    Client first(path);
    first.send(R"({"provider":"claude","type":"approvalRequired","message":"ls"})" "\n");
    auto firstDelivered = recorder.next();
    ASSERT_TRUE(firstDelivered);
    Client second(path);
    second.send(R"({"provider":"codex","type":"approvalRequired","command":"rm -rf build"})" "\n");
    auto secondDelivered = recorder.next();
    ASSERT_TRUE(secondDelivered);
    EXPECT_EQ(secondDelivered->event.message, "");
    EXPECT_EQ(server->parkedCount(), 2u);
    EXPECT_TRUE(first.staysSilent(100ms));

    // Ordinary traffic goes on meanwhile.
    EXPECT_EQ(requestReply(path, R"({"type":"thinking"})" "\n"), kOk);

    std::thread([reply = secondDelivered->reply] { reply(false); }).join();
    EXPECT_EQ(second.readAll(), "{\"approval\":\"denied\"}\n");
    EXPECT_TRUE(first.staysSilent(50ms));
    firstDelivered->reply(true);
    firstDelivered->reply(false);  // only the first verdict counts
    EXPECT_EQ(first.readAll(), "{\"approval\":\"granted\"}\n");
}

TEST_F(SocketServerTest, AStalledProducerDoesNotHoldUpOthers) {
    Client stalled(path);
    stalled.send(R"({"type":"coding")");  // never finishes its line
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(requestReply(path, R"({"type":"responding"})" "\n"), kOk);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 250ms);
    // Past its read time-out the stalled one is answered as unreadable.
    EXPECT_EQ(stalled.readAll(2s), kBad);
    EXPECT_EQ(recorder.next()->event.type, AgentEventType::responding);
    EXPECT_FALSE(recorder.next(50ms));
}

// Polls a condition another thread makes true, up to a deadline.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST_F(SocketServerTest, ListensAgainWhenItsSocketFileIsDeleted) {
    Client parked(path);
    parked.send(R"({"type":"approvalRequired","message":"rm -rf build"})" "\n");
    auto request = recorder.next();
    ASSERT_TRUE(request);

    ASSERT_EQ(::unlink(path.c_str()), 0);
    struct stat status {};
    EXPECT_TRUE(eventually([&] { return ::stat(path.c_str(), &status) == 0; }));
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(requestReply(path, R"({"type":"responding"})" "\n"), kOk);
    EXPECT_EQ(log.lines().filter("removed; listening again at " + QString::fromStdString(path)).size(), 1)
        << log.lines().join('\n').toStdString();
    // A request parked on the old socket still gets its verdict.
    request->reply(true);
    EXPECT_EQ(parked.readAll(), "{\"approval\":\"granted\"}\n");
}

TEST_F(SocketServerTest, AtTheDescriptorLimitANewProducerIsClosedAtOnceAndServingGoesOn) {
    const int producer = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(producer, 0);
    // The lowest free number becomes the limit: the server's next accept fails with EMFILE.
    const int lowestFree = ::fcntl(producer, F_DUPFD, 0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);

    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool connected = ::connect(producer, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    pollfd ready{producer, POLLIN, 0};
    const bool closedAtOnce = connected && ::poll(&ready, 1, 2000) == 1;
    char byte = 0;
    const auto got = closedAtOnce ? ::recv(producer, &byte, 1, MSG_DONTWAIT) : -1;
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ::close(producer);

    EXPECT_TRUE(connected);
    EXPECT_TRUE(closedAtOnce) << "a producer at the limit was left waiting";
    EXPECT_EQ(got, 0) << "closed without a reply, so the bridge fails open";
    EXPECT_TRUE(eventually([&] { return log.lines().filter("out of file descriptors").size() == 1; }));
    EXPECT_EQ(requestReply(path, R"({"type":"responding"})" "\n"), kOk);
}

TEST_F(SocketServerTest, ReleasesParkedConnectionsWhoseProducerHungUp) {
    auto producer = std::make_unique<Client>(path);
    producer->send(R"({"type":"approvalRequired","message":"touch x"})" "\n");
    auto delivered = recorder.next();
    ASSERT_TRUE(delivered);
    producer.reset();  // the agent gave up waiting

    const auto released = recorder.nextRelease();
    ASSERT_TRUE(released);
    EXPECT_EQ(*released, delivered->event.id);

    // The next producer may well get the same descriptor number on the server; the stale reply must not
    // touch it.
    Client next(path);
    next.send(R"({"type":"approvalRequired","message":"second"})" "\n");
    auto nextDelivered = recorder.next();
    ASSERT_TRUE(nextDelivered);
    delivered->reply(true);
    EXPECT_TRUE(next.staysSilent(100ms));
    nextDelivered->reply(true);
    EXPECT_EQ(next.readAll(), "{\"approval\":\"granted\"}\n");
    EXPECT_EQ(server->parkedCount(), 0u);
}

TEST_F(SocketServerTest, AProducerThatOnlyStopsSendingStillGetsItsVerdict) {
    Client producer(path);
    producer.send(R"({"type":"approvalRequired","command":"make"})" "\n");
    producer.shutdownWrite();  // as `nc -N` does: done sending, still listening
    auto delivered = recorder.next();
    ASSERT_TRUE(delivered);
    EXPECT_FALSE(recorder.nextRelease(100ms));
    EXPECT_EQ(server->parkedCount(), 1u);
    delivered->reply(false);
    EXPECT_EQ(producer.readAll(), "{\"approval\":\"denied\"}\n");
}

TEST_F(SocketServerTest, AVerdictAfterTheServerIsGoneClosesWithoutALine) {
    Client producer(path);
    producer.send(R"({"type":"approvalRequired"})" "\n");
    auto delivered = recorder.next();
    ASSERT_TRUE(delivered);
    server.reset();
    delivered->reply(true);
    EXPECT_EQ(producer.readAll(), "");
}

TEST_F(SocketServerTest, RejectsPeersOfAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to connect as another user";
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(path.c_str(), 0666);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        Client intruder(path);
        if (!intruder.connected()) ::_exit(4);
        intruder.send(R"({"type":"coding"})" "\n");
        ::_exit(intruder.readAll().empty() ? 0 : 5);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3/4: set-up failed, 5: the server answered another user";
    EXPECT_FALSE(recorder.next(50ms));
}

TEST(SocketServerStart, TakesOverAStaleSocketFile) {
    TempDir dir;
    const std::string path = dir.path() + "/nubbo.sock";
    { std::ofstream(path) << "left by a crashed run"; }
    LocalSocketServer::Options options;
    options.socketPath = QString::fromStdString(path);
    options.log = [](const QString&) {};
    LocalSocketServer server(options);
    server.start();
    EXPECT_TRUE(server.waitUntilStarted(5s));
    EXPECT_EQ(requestReply(path, "{}\n"), kOk);
}

TEST(SocketServerStart, RefusesAPathTooLongAndSaysSo) {
    TempDir dir;
    const std::string path = dir.path() + "/" + std::string(120, 'p') + ".sock";
    LogCapture log;
    LocalSocketServer::Options options;
    options.socketPath = QString::fromStdString(path);
    options.log = log.function();
    LocalSocketServer server(options);
    server.start();
    EXPECT_FALSE(server.waitUntilStarted(5s));
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("socket path too long (%1 >= 104)").arg(path.size())});
}

} // namespace

namespace {

TEST(SocketServerStart, DefaultPathUnderALongHomeIsRefusedWithItsLength) {
    TempDir dir;
    const std::string home = dir.path() + "/" + std::string(80, 'h');
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(home + "/run")));
    const QByteArray previous = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home));
    // A runtime folder inside the long home.
    const QByteArray previousRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray previousState = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(home + "/run"));
    qunsetenv("XDG_STATE_HOME");
    LogCapture log;
    LocalSocketServer::Options options;
    options.log = log.function();
    LocalSocketServer server(options);
    server.start();
    const bool listening = server.waitUntilStarted(5s);
    qputenv("HOME", previous);
    qputenv("XDG_RUNTIME_DIR", previousRuntime);
    qputenv("XDG_STATE_HOME", previousState);
    EXPECT_FALSE(listening);
    const auto expected = home + "/run/nubbo/nubbo.sock";
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("socket path too long (%1 >= 104)").arg(expected.size())});
}

} // namespace
