#include "platform/KeychainStore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <mutex>
#include <sys/prctl.h>
#include <thread>
#include <vector>

namespace nubbo {
namespace {

using namespace std::chrono_literals;

const QString kSecretsName = QStringLiteral("org.freedesktop.secrets");

// A process reaches one Secret Service for good: the D-Bus libraries and QtKeychain settle on a bus and a
// backend at first use. CTest runs each test in a process of its own; a run of the whole binary skips the
// tests that need another set-up than the one already in use.
bool claimSetUp(const char* name) {
    static QByteArray inUse;
    if (inUse.isEmpty()) inUse = name;
    return inUse == name;
}

// Every fixture logs into a temporary home, so each test sees only its own log lines.
class KeychainTestBase : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(home_.path()));
        homeSet_ = true;
    }
    void TearDown() override {
        if (homeSet_) qputenv("HOME", savedHome_);
    }

    QStringList logLines() const {
        QFile file(home_.path() + "/.local/state/Nubbo/nubbo.log");
        if (!file.open(QIODevice::ReadOnly)) return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        // Drop the time in front of each message.
        for (QString& line : lines) line = line.section(' ', 1);
        return lines;
    }

    QTemporaryDir home_;
    QByteArray savedHome_;
    bool homeSet_ = false;
};

// Against the private, unlocked gnome-keyring that with-keyring.sh starts.
class KeychainStoreTest : public KeychainTestBase {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("NUBBO_TEST_SECRET_SERVICE"))
            GTEST_SKIP() << "runs inside with-keyring.sh (as CTest does), never against the user's keyring";
        if (!claimSetUp("keyring")) GTEST_SKIP() << "needs a process of its own";
        KeychainTestBase::SetUp();
        ASSERT_TRUE(waitForSecretService()) << "no Secret Service on the session bus";
    }

    // The daemon claims its name a moment after it starts.
    static bool waitForSecretService() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return false;
        QDBusServiceWatcher watcher(kSecretsName, bus, QDBusServiceWatcher::WatchForRegistration);
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
        QTimer::singleShot(10s, &loop, &QEventLoop::quit);
        if (!bus.interface()->isServiceRegistered(kSecretsName)) loop.exec();
        return bus.interface()->isServiceRegistered(kSecretsName);
    }

    // Items the Secret Service itself holds for our service and this account, asked over D-Bus without
    // QtKeychain (which records the service as "server" and the account as "user").
    static int itemsInService(const QString& key) {
        using Attributes = QMap<QString, QString>;
        qDBusRegisterMetaType<Attributes>();
        QDBusMessage search = QDBusMessage::createMethodCall(kSecretsName, "/org/freedesktop/secrets",
                                                             "org.freedesktop.Secret.Service", "SearchItems");
        search << QVariant::fromValue(
            Attributes{{"server", QString::fromLatin1(KeychainStore::kService)}, {"user", key}});
        const QDBusMessage reply = QDBusConnection::sessionBus().call(search);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2) return -1;
        return qdbus_cast<QList<QDBusObjectPath>>(reply.arguments()[0]).size() +
               qdbus_cast<QList<QDBusObjectPath>>(reply.arguments()[1]).size();
    }

    KeychainStore store_;
};

TEST_F(KeychainStoreTest, SetReadOverwriteAndRemove) {
    store_.set("first", "apiKey.one");
    store_.set("other", "apiKey.two");
    EXPECT_EQ(store_.string("apiKey.one"), "first");
    EXPECT_EQ(itemsInService("apiKey.one"), 1);

    store_.set("second", "apiKey.one");
    EXPECT_EQ(store_.string("apiKey.one"), "second");
    EXPECT_EQ(itemsInService("apiKey.one"), 1) << "an overwrite must update the item, not add one";

    store_.remove("apiKey.one");
    EXPECT_EQ(store_.string("apiKey.one"), std::nullopt);
    EXPECT_EQ(itemsInService("apiKey.one"), 0);
    EXPECT_EQ(store_.string("apiKey.two"), "other");

    store_.remove("apiKey.one"); // already gone: not an error
    EXPECT_EQ(store_.string("never.stored"), std::nullopt);
    EXPECT_EQ(logLines(), QStringList()) << "nothing here is a failure";
}

TEST_F(KeychainStoreTest, ValuesAreTrimmedKeptAsUtf8AndAnEmptyOneRemovesTheItem) {
    const QString value = "clé 密钥 ключ 🔑";
    store_.set("  \t" + value + "\n\n", "apiKey.ünï");
    EXPECT_EQ(store_.string("apiKey.ünï"), value);

    store_.set(" \n\t ", "apiKey.ünï");
    EXPECT_EQ(store_.string("apiKey.ünï"), std::nullopt);
    EXPECT_EQ(itemsInService("apiKey.ünï"), 0);
    EXPECT_EQ(logLines(), QStringList());
}

TEST_F(KeychainStoreTest, WorksFromARunningEventLoopAndFromOtherThreads) {
    std::optional<QString> readInLoop;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        KeychainStore::shared().set("from the loop", "apiKey.loop");
        readInLoop = KeychainStore::shared().string("apiKey.loop");
        loop.quit();
    });
    loop.exec();
    EXPECT_EQ(readInLoop, "from the loop");

    constexpr int kThreads = 4;
    std::vector<std::optional<QString>> reads(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &reads, this] {
            const QString key = QString("apiKey.thread%1").arg(t);
            store_.set(QString("value %1").arg(t), key);
            reads[t] = store_.string(key);
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(reads[t], QString("value %1").arg(t));
}

// No bus to reach at all.
class KeychainStoreNoBusTest : public KeychainTestBase {
protected:
    void SetUp() override {
        if (!claimSetUp("no bus")) GTEST_SKIP() << "needs a process of its own";
        KeychainTestBase::SetUp();
        ASSERT_TRUE(busDir_.isValid());
        qputenv("DBUS_SESSION_BUS_ADDRESS", QFile::encodeName("unix:path=" + busDir_.path() + "/no-bus"));
    }
    QTemporaryDir busDir_;
};

TEST_F(KeychainStoreNoBusTest, CallsReturnWithinTheBoundAndLogOneLineEach) {
    constexpr auto kTimeout = 2000ms;
    KeychainStore store(kTimeout);
    QElapsedTimer clock;

    clock.start();
    EXPECT_EQ(store.string("apiKey.none"), std::nullopt);
    store.set("dropped", "apiKey.none");
    store.remove("apiKey.none");
    EXPECT_LT(clock.elapsed(), 3 * (kTimeout.count() + 500));

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].startsWith("keychain: read apiKey.none ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("keychain: write apiKey.none ")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("keychain: remove apiKey.none ")) << lines[2].toStdString();
}

// Takes every call to the Secret Service's name and holds it unanswered, as a service stuck behind a
// password dialog does, until told to refuse. It lives on its own thread so that it takes calls while the
// test thread waits.
class HoldingService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        {
            std::lock_guard lock(mutex_);
            if (refusing_) connection.send(refusal(message));
            else held_.append({message, connection});
        }
        calls.release();
        return true;
    }

    // Answers the held calls, and every later one, with an error.
    void refuse() {
        std::lock_guard lock(mutex_);
        refusing_ = true;
        for (const auto& [message, connection] : held_) connection.send(refusal(message));
        held_.clear();
    }

    QSemaphore calls;

private:
    static QDBusMessage refusal(const QDBusMessage& message) {
        return message.createErrorReply(QDBusError::AccessDenied, "refused by the test");
    }

    std::mutex mutex_;
    bool refusing_ = false;
    QList<std::pair<QDBusMessage, QDBusConnection>> held_;
};

class KeychainStoreSilentServiceTest : public KeychainTestBase {
protected:
    void SetUp() override {
        if (!claimSetUp("silent service")) GTEST_SKIP() << "needs a process of its own";
        KeychainTestBase::SetUp();
        ASSERT_TRUE(busDir_.isValid());
        const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
        ASSERT_FALSE(daemon.isEmpty()) << "dbus-daemon not found";

        // A bus of our own with no activatable services, so nothing but the silent object owns the name.
        QFile config(busDir_.path() + "/bus.conf");
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QString(R"(<busconfig><type>session</type><listen>unix:path=%1/bus</listen>
<auth>EXTERNAL</auth><policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>)").arg(busDir_.path()).toUtf8());
        config.close();

        // The bus must outlive every D-Bus connection of this process: the library behind QtKeychain
        // raises SIGTERM in a process whose session bus goes away. So it is never stopped (nor deleted,
        // which would kill it); the kernel ends it with this process.
        static QProcess* const bus = new QProcess;
        bus->setProgram(daemon);
        bus->setArguments({"--config-file=" + config.fileName(), "--nofork", "--print-address"});
        bus->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        bus->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        bus->start();
        ASSERT_TRUE(bus->waitForStarted(10000));
        while (!bus->canReadLine()) ASSERT_TRUE(bus->waitForReadyRead(10000)) << "the bus never came up";
        const QString address = QString::fromUtf8(bus->readLine()).trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());

        QDBusConnection connection = QDBusConnection::connectToBus(address, "silent-secrets");
        ASSERT_TRUE(connection.isConnected());
        ASSERT_TRUE(connection.registerVirtualObject("/", &service_, QDBusConnection::SubPath));
        ASSERT_TRUE(connection.registerService(kSecretsName));
        service_.moveToThread(&serviceThread_);
        serviceThread_.start();
    }

    void TearDown() override {
        QDBusConnection::disconnectFromBus("silent-secrets");
        serviceThread_.quit();
        serviceThread_.wait();
        KeychainTestBase::TearDown();
    }

    QTemporaryDir busDir_;
    QThread serviceThread_;
    HoldingService service_;
};

TEST_F(KeychainStoreSilentServiceTest, ACallPastItsTimeOutHoldsOffLaterCallsUntilItsLateAnswer) {
    constexpr auto kTimeout = 500ms;
    KeychainStore store(kTimeout);
    QElapsedTimer clock;

    clock.start();
    EXPECT_EQ(store.string("apiKey.stuck"), std::nullopt);
    const qint64 firstCall = clock.elapsed();
    EXPECT_GE(firstCall, kTimeout.count()) << "it should have been left waiting, not refused";
    EXPECT_LT(firstCall, kTimeout.count() + 2000);
    ASSERT_TRUE(service_.calls.tryAcquire(1, 10000)) << "the Secret Service was never asked";

    // The first job still hangs: queueing behind it would cost a full time-out per call.
    clock.restart();
    store.set("dropped", "apiKey.stuck");
    EXPECT_EQ(store.string("apiKey.other"), std::nullopt);
    store.remove("apiKey.stuck");
    EXPECT_LT(clock.elapsed(), kTimeout.count());

    // The late answer reaches a job whose caller has long gone (sanitizers watch this), and calls go
    // through again.
    service_.refuse();
    ASSERT_TRUE(KeychainStore::waitForLateAnswersForTesting(10s));
    clock.restart();
    EXPECT_EQ(store.string("apiKey.after"), std::nullopt);
    EXPECT_LT(clock.elapsed(), kTimeout.count());

    const QStringList lines = logLines();
    ASSERT_EQ(lines.size(), 5) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(0, 4), QStringList({
                                   "keychain: read apiKey.stuck timed out after 500 ms",
                                   "keychain: write apiKey.stuck skipped: an earlier call is still unanswered",
                                   "keychain: read apiKey.other skipped: an earlier call is still unanswered",
                                   "keychain: remove apiKey.stuck skipped: an earlier call is still unanswered",
                               }));
    EXPECT_TRUE(lines[4].startsWith("keychain: read apiKey.after failed: ")) << lines[4].toStdString();
}

} // namespace
} // namespace nubbo

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
