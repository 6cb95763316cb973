// Which agent events notify and with what words, and the Notify call the desktop's server receives.
// Runs inside a private D-Bus session (notifications.cmake), as does answering a request from its notification.
#include "intake/AgentEventBus.h"
#include "sessions/AgentSessionStore.h"
#include "platform/FreedesktopNotifier.h"
#include "platform/JsonPreferencesDomain.h"
#include "ManualTime.h"
#include "model/NarrationSummarizer.h"
#include "platform/NotificationPoster.h"
#include "sessions/NubboNotifications.h"
#include "pet/PetViewModel.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QMutex>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <vector>

// Readable failure messages.
static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

struct Posted {
    QString title;
    QString body;
    bool operator==(const Posted&) const = default;
};

void PrintTo(const Posted& posted, std::ostream* out) {
    *out << '{' << posted.title.toStdString() << " | " << posted.body.toStdString() << '}';
}

class RecordingPoster : public NotificationPoster {
public:
    void post(const QString& title, const QString& body, const QString& tag,
              const NotificationActions& actions) override {
        posts.push_back({title, body});
        tags.push_back(tag);
        this->actions.push_back(actions);
    }
    void withdraw(const QString& tag) override { withdrawn.push_back(tag); }
    void requestAuthorization() override {}
    std::vector<Posted> posts;
    std::vector<QString> tags;
    std::vector<QString> withdrawn;
    std::vector<NotificationActions> actions;
};

AgentEvent makeEvent(AgentEventType type, const QString& message, std::optional<QString> command = {}) {
    AgentEvent event;
    event.id = QUuid::createUuid();
    event.provider = AgentProvider(u"claude"_s);
    event.type = type;
    event.message = message;
    event.command = std::move(command);
    return event;
}

class NotificationsTest : public ::testing::Test {
protected:
    // One of each kind that notifies.
    void notifyOneOfEach() {
        notifications.notify(AgentEventType::approvalRequired,
                             makeEvent(AgentEventType::approvalRequired, u"Run rm?"_s, u"rm -rf build"_s));
        notifications.notify(AgentEventType::taskCompleted, makeEvent(AgentEventType::taskCompleted, u"Done"_s));
        notifications.notify(AgentEventType::riskyActionDetected,
                             makeEvent(AgentEventType::riskyActionDetected, u"Force push"_s));
    }

    QTemporaryDir dir;
    JsonPreferencesDomain preferences{dir.filePath(u"preferences.json"_s)};
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    QStringList preferredLanguages{u"en-US"_s};
    SettingsStore settings{preferences, secrets, loginItem, [this] { return preferredLanguages; }};
    RecordingPoster poster;
    fakes::ManualClock clock;
    NubboNotifications notifications{settings, poster, clock};
};

TEST_F(NotificationsTest, MasterSwitchOffSilencesEveryKindWhateverTheirOwnSwitches) {
    settings.setShowNotifications(false);
    for (const bool perKind : {true, false}) {
        settings.setNotifyApprovalRequired(perKind);
        settings.setNotifyTaskCompleted(perKind);
        settings.setNotifyRiskyAction(perKind);
        notifyOneOfEach();
        for (const auto category : {NotificationCategory::approvalRequired, NotificationCategory::taskCompleted,
                                    NotificationCategory::riskyAction})
            notifications.post(u"t"_s, u"b"_s, category);
    }
    EXPECT_TRUE(poster.posts.empty());

    // Read at each call: switching them back on takes effect at once.
    settings.setNotifyApprovalRequired(true);
    settings.setNotifyTaskCompleted(true);
    settings.setNotifyRiskyAction(true);
    settings.setShowNotifications(true);
    notifyOneOfEach();
    EXPECT_EQ(poster.posts.size(), 3u);
}

TEST_F(NotificationsTest, EachKindHasItsOwnSwitch) {
    struct Row {
        void (SettingsStore::*set)(bool);
        QString silenced;
    };
    const Row rows[] = {{&SettingsStore::setNotifyApprovalRequired, u"rm -rf build"_s},
                        {&SettingsStore::setNotifyTaskCompleted, u"Done"_s},
                        {&SettingsStore::setNotifyRiskyAction, u"Force push"_s}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.silenced.toStdString());
        poster.posts.clear();
        (settings.*row.set)(false);
        notifyOneOfEach();
        (settings.*row.set)(true);

        QStringList bodies;
        for (const Posted& posted : poster.posts)
            bodies << posted.body;
        EXPECT_EQ(bodies.size(), 2);
        EXPECT_FALSE(bodies.contains(row.silenced)) << bodies.join(u", "_s).toStdString();
    }
}

TEST_F(NotificationsTest, TitlesFollowTheInterfaceLanguageBodiesTheEvent) {
    struct Row {
        AgentEvent event;
        Posted en;
        Posted zh;
    };
    const Row rows[] = {
        {makeEvent(AgentEventType::approvalRequired, u"Claude wants to run a command"_s, u"npm publish"_s),
         {u"Nubbo · Approval"_s, u"npm publish"_s},
         {u"Nubbo · 授权"_s, u"npm publish"_s}},
        // No command: the message says what is asked. An empty one counts as none.
        {makeEvent(AgentEventType::approvalRequired, u"Claude wants to edit main.py"_s),
         {u"Nubbo · Approval"_s, u"Claude wants to edit main.py"_s},
         {u"Nubbo · 授权"_s, u"Claude wants to edit main.py"_s}},
        {makeEvent(AgentEventType::approvalRequired, u"Claude wants to fetch a page"_s, u""_s),
         {u"Nubbo · Approval"_s, u"Claude wants to fetch a page"_s},
         {u"Nubbo · 授权"_s, u"Claude wants to fetch a page"_s}},
        // The command is not the body of the other kinds.
        {makeEvent(AgentEventType::taskCompleted, u"All tests pass"_s, u"pytest"_s),
         {u"Nubbo"_s, u"All tests pass"_s},
         {u"Nubbo"_s, u"All tests pass"_s}},
        {makeEvent(AgentEventType::riskyActionDetected, u"git push --force"_s, u"git push -f"_s),
         {u"Nubbo · Risky Action"_s, u"git push --force"_s},
         {u"Nubbo · 高风险操作"_s, u"git push --force"_s}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.event.message.toStdString());
        poster.posts.clear();
        settings.setLanguage(AppLanguage::en);
        notifications.notify(row.event.type, row.event);
        // The same instance: the language is read at each event.
        settings.setLanguage(AppLanguage::zh);
        notifications.notify(row.event.type, row.event);
        EXPECT_EQ(poster.posts, (std::vector<Posted>{row.en, row.zh}));
    }

    // "Follow the system" with a Chinese system language.
    preferredLanguages = {u"zh-Hans-CN"_s, u"en-US"_s};
    settings.setLanguage(AppLanguage::system);
    poster.posts.clear();
    notifications.notify(AgentEventType::riskyActionDetected, rows[4].event);
    EXPECT_EQ(poster.posts, (std::vector<Posted>{rows[4].zh}));
}

TEST_F(NotificationsTest, AnApprovalsNotificationIsNamedAfterItsRequestAndGoesWithIt) {
    const AgentEvent request = makeEvent(AgentEventType::approvalRequired, u"msg"_s, u"make"_s);
    notifications.notify(AgentEventType::approvalRequired, request);
    notifications.notify(AgentEventType::taskCompleted, makeEvent(AgentEventType::taskCompleted, u"Done"_s));
    const QString tag = request.id.toString(QUuid::WithoutBraces);
    EXPECT_EQ(poster.tags, (std::vector<QString>{tag, QString()}));
    notifications.approvalEnded(request.id);
    EXPECT_EQ(poster.withdrawn, std::vector<QString>{tag});
}

TEST_F(NotificationsTest, OnlyThreeEventTypesNotifyAndEveryOnePostsItsOwn) {
    for (const AgentEventType type : kAllAgentEventTypes) {
        if (type != AgentEventType::approvalRequired && type != AgentEventType::taskCompleted &&
            type != AgentEventType::riskyActionDetected)
            notifications.notify(type, makeEvent(type, u"something happened"_s, u"ls"_s));
    }
    EXPECT_TRUE(poster.posts.empty());

    // Nothing is merged or replaced: a burst posts a burst.
    notifications.notify(AgentEventType::taskCompleted, makeEvent(AgentEventType::taskCompleted, u"Built"_s));
    notifications.notify(AgentEventType::taskCompleted, makeEvent(AgentEventType::taskCompleted, u"Built"_s));
    EXPECT_EQ(poster.posts, (std::vector<Posted>{{u"Nubbo"_s, u"Built"_s}, {u"Nubbo"_s, u"Built"_s}}));
}

TEST_F(NotificationsTest, StayingQuietSkipsOnlyTheSessionsTheUserLooksAt) {
    // Answers when the test says, as the check off the GUI thread does.
    std::vector<std::function<void(bool)>> checks;
    notifications.setLookingAtCheck([&checks](const TerminalContext& context, std::function<void(bool)> answer) {
        EXPECT_EQ(context.tmuxPane, u"%3"_s);
        checks.push_back(std::move(answer));
    });
    const struct {
        bool quiet, context, looking;
        std::size_t checks, posts;
    } cases[] = {{true, true, true, 3, 0}, {true, true, false, 3, 3}, {false, true, true, 0, 3},
                 {true, false, true, 0, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.quiet << c.context << c.looking);
        settings.setQuietWhileLooking(c.quiet);
        poster.posts.clear();
        checks.clear();
        for (const AgentEventType type : {AgentEventType::approvalRequired, AgentEventType::taskCompleted,
                                          AgentEventType::riskyActionDetected}) {
            AgentEvent event = makeEvent(type, u"Run?"_s, u"make"_s);
            event.terminal.tmuxPane = c.context ? u"%3"_s : QString();
            notifications.notify(type, event);
        }
        EXPECT_EQ(checks.size(), c.checks);
        for (const auto& answer : checks)
            answer(c.looking);
        EXPECT_EQ(poster.posts.size(), c.posts);
    }

    // A request that ends while the check runs is not announced afterwards.
    checks.clear();
    AgentEvent request = makeEvent(AgentEventType::approvalRequired, u"Run?"_s, u"make"_s);
    request.terminal.tmuxPane = u"%3"_s;
    notifications.notify(AgentEventType::approvalRequired, request);
    notifications.approvalEnded(request.id);
    checks.at(0)(false);
    EXPECT_EQ(poster.posts.size(), 3u);
}

// ---- The real D-Bus notifier against a server owned by the test ----

// Runs the event loop until the condition holds (bounded; the loop does the waiting, not a sleep).
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Lets every reply the bus sent before now reach its handler: replies on one connection arrive in order, so
// once a blocking round trip to the bus itself has returned, the earlier ones are queued on the event loop.
void drainReplies() {
    QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.freedesktop.DBus"_s);
    QCoreApplication::processEvents();
}

// Owns org.freedesktop.Notifications on a connection of its own and records every Notify call. A silent
// server never answers, like a hung daemon.
class NotificationServer : public QDBusVirtualObject {
public:
    explicit NotificationServer(bool answers, QStringList capabilities = {u"body"_s})
        : answers_(answers), capabilities_(std::move(capabilities)) {}

    bool start() {
        connection_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName);
        return connection_.isConnected() &&
               connection_.registerVirtualObject(FreedesktopNotifier::kPath, this) &&
               connection_.registerService(FreedesktopNotifier::kService);
    }

    ~NotificationServer() override {
        connection_.unregisterService(FreedesktopNotifier::kService);
        connection_.unregisterObject(FreedesktopNotifier::kPath);
        QDBusConnection::disconnectFromBus(kConnectionName);
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != FreedesktopNotifier::kInterface)
            return false;
        if (message.member() == u"CloseNotification"_s) {
            QMutexLocker lock(&mutex_);
            closed_.push_back(message.arguments().value(0).toUInt());
            connection.send(message.createReply());
            return true;
        }
        if (message.member() == u"GetCapabilities"_s) {
            connection.send(message.createReply(QVariant(capabilities_)));
            return true;
        }
        if (message.member() == u"GetServerInformation"_s) {
            connection.send(message.createReply(
                QList<QVariant>{u"test-daemon"_s, u"Nubbo Tests"_s, u"2.1"_s, u"1.2"_s}));
            return true;
        }
        if (message.member() != u"Notify"_s)
            return false;
        quint32 id = 0;
        {
            QMutexLocker lock(&mutex_);
            calls_.push_back(message);
            id = quint32(calls_.size());
        }
        if (answers_)
            connection.send(message.createReply(QVariant::fromValue(id)));
        return true;
    }

    QString introspect(const QString&) const override { return {}; }

    // What the server sends when the user presses a button. Returns once the bus has routed it: a round
    // trip on the same connection follows it.
    void pressButton(quint32 id, const QString& key) {
        QDBusMessage signal = QDBusMessage::createSignal(FreedesktopNotifier::kPath, FreedesktopNotifier::kInterface,
                                                         u"ActionInvoked"_s);
        signal << id << key;
        connection_.send(signal);
        connection_.interface()->isServiceRegistered(u"org.freedesktop.DBus"_s);
    }

    std::vector<QDBusMessage> calls() const {
        QMutexLocker lock(&mutex_);
        return calls_;
    }
    std::vector<quint32> closed() const {
        QMutexLocker lock(&mutex_);
        return closed_;
    }

private:
    static inline const QString kConnectionName = u"test-notification-server"_s;
    const bool answers_;
    const QStringList capabilities_;
    QDBusConnection connection_{QString()};
    mutable QMutex mutex_;
    std::vector<QDBusMessage> calls_;
    std::vector<quint32> closed_;
};

TEST(FreedesktopNotifierTest, SendsOneNewNotificationPerPost) {
    NotificationServer server(true);
    ASSERT_TRUE(server.start());
    QStringList log;
    FreedesktopNotifier notifier([&](const QString& line) { log << line; });

    notifier.post(u"Nubbo · Approval"_s, u"npm publish"_s);
    notifier.post(u"Nubbo · 高风险操作"_s, u"git push --force"_s);
    ASSERT_TRUE(waitUntil([&] { return server.calls().size() == 2; }));

    const std::vector<QDBusMessage> calls = server.calls();
    const QString summaries[] = {u"Nubbo · Approval"_s, u"Nubbo · 高风险操作"_s};
    const QString bodies[] = {u"npm publish"_s, u"git push --force"_s};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        const QDBusMessage& call = calls[i];
        ASSERT_EQ(call.signature(), u"susssasa{sv}i"_s);
        const QList<QVariant> args = call.arguments();
        EXPECT_EQ(args[0].toString(), u"Nubbo"_s);
        EXPECT_EQ(args[1].toUInt(), 0u) << "a new notification, never a replacement";
        EXPECT_EQ(args[3].toString(), summaries[i]);
        EXPECT_EQ(args[4].toString(), bodies[i]);
        EXPECT_TRUE(args[5].toStringList().isEmpty()) << "no actions";
        const auto hints = qdbus_cast<QVariantMap>(args[6].value<QDBusArgument>());
        EXPECT_EQ(hints.value(u"sound-name"_s).toString(), u"message-new-instant"_s);
        EXPECT_EQ(args[7].toInt(), -1) << "the server's own timeout";
    }

    drainReplies();
    EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();
}

TEST(FreedesktopNotifierTest, AWithdrawnTagClosesItsOwnNotificationOnly) {
    NotificationServer server(true);
    ASSERT_TRUE(server.start());
    FreedesktopNotifier notifier;
    notifier.post(u"Nubbo · Approval"_s, u"npm publish"_s, u"request-1"_s);  // numbered 1 by the server
    notifier.post(u"Nubbo"_s, u"Done"_s);                                     // 2, untagged
    notifier.post(u"Nubbo · Approval"_s, u"rm -rf build"_s, u"request-3"_s);
    notifier.withdraw(u"request-3"_s);  // before the server has answered: never shown at all
    ASSERT_TRUE(waitUntil([&] { return server.calls().size() == 2; }));
    drainReplies();
    notifier.withdraw(u"request-1"_s);
    notifier.withdraw(u"request-1"_s);
    notifier.withdraw(u"never-posted"_s);
    ASSERT_TRUE(waitUntil([&] { return server.closed().size() == 1; }));
    drainReplies();
    EXPECT_EQ(server.calls().size(), 2u);
    EXPECT_EQ(server.closed(), (std::vector<quint32>{1}));
}

TEST(FreedesktopNotifierTest, ReturnsAtOnceWhileTheServerHasNotAnswered) {
    NotificationServer server(false);
    ASSERT_TRUE(server.start());
    {
        FreedesktopNotifier notifier;
        QElapsedTimer timer;
        timer.start();
        // The server answers on this thread's event loop, which a waiting post would hold until its timeout.
        notifier.post(u"Nubbo"_s, u"Done"_s);
        EXPECT_LT(timer.elapsed(), 1000);
        ASSERT_TRUE(waitUntil([&] { return server.calls().size() == 1; }));
    }
    // The notifier went away with its call unanswered; the event loop must not reach it any more.
    QCoreApplication::processEvents();
}

TEST(FreedesktopNotifierTest, WithoutAServerPostsFailQuietlyAndAreLoggedOnce) {
    QStringList log;
    FreedesktopNotifier notifier([&](const QString& line) { log << line; });
    for (int i = 0; i < 3; ++i)
        notifier.post(u"Nubbo"_s, u"Done"_s);
    ASSERT_TRUE(waitUntil([&] { return !log.isEmpty(); }));
    drainReplies();
    ASSERT_EQ(log.size(), 1) << log.join('\n').toStdString();
    EXPECT_TRUE(log[0].startsWith(u"notification not shown: "_s)) << log[0].toStdString();
}

TEST(FreedesktopNotifierTest, WithoutABusPostsFailQuietly) {
    QStringList log;
    const QString name = u"test-unreachable-bus"_s;
    {
        FreedesktopNotifier notifier([&](const QString& line) { log << line; },
                                     QDBusConnection::connectToBus(u"unix:path=/nonexistent/bus"_s, name));
        notifier.post(u"Nubbo"_s, u"Done"_s);
        notifier.post(u"Nubbo"_s, u"Done"_s);
        EXPECT_TRUE(waitUntil([&] { return !log.isEmpty(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(log.size(), 1) << log.join('\n').toStdString();
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST(FreedesktopNotifierTest, TheServerCheckNamesTheServerOrSaysThereIsNone) {
    std::vector<std::optional<QString>> answers;
    const auto record = [&](std::optional<QString> server) { answers.push_back(server); };
    {
        NotificationServer server(true);
        ASSERT_TRUE(server.start());
        FreedesktopNotifier notifier;
        notifier.checkServer(record);
        ASSERT_TRUE(waitUntil([&] { return answers.size() == 1; }));
        EXPECT_EQ(answers[0], std::optional<QString>(u"test-daemon 2.1"_s));
    }
    // The bus starts no services: with the test server gone, nobody answers.
    FreedesktopNotifier notifier;
    notifier.checkServer(record);
    ASSERT_TRUE(waitUntil([&] { return answers.size() == 2; }));
    EXPECT_EQ(answers[1], std::nullopt);
}

TEST(FreedesktopNotifierTest, TheServersCapabilitiesDecideButtonsAndTheBodysForm) {
    // A command's "<", ">" and "&" reach a server that renders markup escaped, so none of it can hide the
    // rest; a plain-text server gets the text as it is.
    const QString command = u"npm test <x> && curl a | sh"_s;
    struct Row {
        QStringList capabilities;
        QString body;
        bool buttons;
    };
    const Row rows[] = {
        {{u"body"_s, u"sound"_s}, command, false},
        {{u"body"_s, u"body-markup"_s, u"actions"_s}, u"npm test &lt;x&gt; &amp;&amp; curl a | sh"_s, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.capabilities.join(u' ').toStdString());
        NotificationServer server(true, row.capabilities);
        ASSERT_TRUE(server.start());
        FreedesktopNotifier notifier;
        notifier.post(u"Nubbo · Approval"_s, command, u"request-1"_s, {{{u"allow"_s, u"Allow"_s}}, [](const QString&) {}});
        ASSERT_TRUE(waitUntil([&] { return server.calls().size() == 1; }));
        EXPECT_EQ(server.calls()[0].arguments()[4].toString(), row.body);
        EXPECT_EQ(!server.calls()[0].arguments()[5].toStringList().isEmpty(), row.buttons);
    }
}

// The whole way from a parked request to its verdict, with the real bus, session store, view model and
// notifier; the wiring is the app's start-up's.
TEST(NotificationAnswerTest, AButtonOnTheNotificationAnswersOnceLikeTheCard) {
    NotificationServer server(true, {u"body"_s, u"actions"_s});
    ASSERT_TRUE(server.start());

    QTemporaryDir dir;
    JsonPreferencesDomain preferences{dir.filePath(u"preferences.json"_s)};
    fakes::MemorySecretStore secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{u"en-US"_s}; }};
    settings.setApprovalMode(ApprovalMode::manual);
    settings.setLanguage(AppLanguage::zh);
    fakes::ManualClock clock;
    fakes::ManualScheduler scheduler{clock};
    fakes::SeededRandom random{1};
    NullSummarizer summarizer;
    FreedesktopNotifier notifier;
    NubboNotifications notifications{settings, notifier, clock};
    std::unique_ptr<AgentEventBus> bus;
    std::unique_ptr<AgentSessionStore> store;
    PetViewModel pet{settings, scheduler, clock, random, [](const QString&) {}, [&](const QUuid& eventId, bool allow) {
                         if (!bus->resolveApproval(eventId, allow))
                             return false;
                         store->resolveApproval(eventId, allow);
                         return true;
                     }};
    store = std::make_unique<AgentSessionStore>(
        settings, pet, clock, random,
        [&](AgentEventType type, const AgentEvent& event) { notifications.notify(type, event); }, summarizer);
    store->setApprovalEndedHandler([&](const QUuid& eventId) { notifications.approvalEnded(eventId); });
    notifications.setApprovalAnswerHandler([&](const QUuid& eventId, bool allow) {
        pet.answerApproval(eventId, allow ? ApprovalAnswer::allow : ApprovalAnswer::deny, "from a notification");
    });
    AgentEventBus::Options options;
    options.agentLogPath = dir.filePath(u"agent.log"_s);
    bus = std::make_unique<AgentEventBus>(settings, *store, options);

    std::vector<bool> verdicts;
    const auto ask = [&](const QString& session, const QString& command) {
        AgentEvent request = makeEvent(AgentEventType::approvalRequired, u"Bash"_s, command);
        request.sessionId = session;
        bus->publish(request, [&](std::optional<bool> allow) { verdicts.push_back(allow.value()); });
        return request.id;
    };
    const auto cardFor = [&](const QUuid& eventId) {
        const auto* card = pet.bubble() ? std::get_if<BubbleApproval>(&*pet.bubble()) : nullptr;
        return pet.bubbleVisible() && card && card->prompt.eventId == eventId;
    };

    const QUuid first = ask(u"s1"_s, u"npm publish"_s);
    ASSERT_TRUE(waitUntil([&] { return server.calls().size() == 1; }));
    drainReplies();  // the server's number for it
    // The card's words, in the interface language.
    EXPECT_EQ(server.calls()[0].arguments()[5].toStringList(),
              (QStringList{u"deny"_s, u"拒绝"_s, u"allow"_s, u"允许"_s}));
    EXPECT_TRUE(cardFor(first));

    scheduler.advance(AnswerArming::kSeconds);
    server.pressButton(1, u"allow"_s);
    drainReplies();
    EXPECT_EQ(verdicts, std::vector<bool>{true});
    EXPECT_EQ(store->session(u"claude:s1"_s)->state, PetState::coding);
    EXPECT_FALSE(pet.bubbleVisible());
    ASSERT_TRUE(waitUntil([&] { return server.closed().size() == 1; }));
    EXPECT_EQ(server.closed(), std::vector<quint32>{1});

    // Pressed again (or the other button): nothing more. A second verdict would re-render the pet.
    server.pressButton(1, u"allow"_s);
    server.pressButton(1, u"deny"_s);
    drainReplies();
    EXPECT_EQ(verdicts, std::vector<bool>{true});
    EXPECT_EQ(store->session(u"claude:s1"_s)->state, PetState::coding);
    EXPECT_FALSE(pet.bubbleVisible());

    // A press the moment it popped up was aimed at something else: nothing is answered, the card stays.
    const QUuid second = ask(u"s2"_s, u"rm -rf build"_s);
    ASSERT_TRUE(waitUntil([&] { return server.calls().size() == 2; }));
    drainReplies();
    server.pressButton(2, u"allow"_s);
    drainReplies();
    EXPECT_EQ(verdicts, std::vector<bool>{true});
    ASSERT_TRUE(cardFor(second));
    // Answered on the card: the notification goes, and its buttons answer nothing any more.
    pet.cardAtRest(std::get<BubbleApproval>(*pet.bubble()).prompt.id.toString());
    scheduler.advance(AnswerArming::kSeconds);
    EXPECT_TRUE(pet.answerCard(second, ApprovalAnswer::deny));
    ASSERT_TRUE(waitUntil([&] { return server.closed().size() == 2; }));
    server.pressButton(2, u"allow"_s);
    drainReplies();
    EXPECT_EQ(verdicts, (std::vector<bool>{true, false}));
    EXPECT_EQ(store->session(u"claude:s2"_s)->state, PetState::warning);
    EXPECT_FALSE(pet.bubbleVisible());
    EXPECT_EQ(bus->parkedCount(), 0u);
}

} // namespace
} // namespace nubbo

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
