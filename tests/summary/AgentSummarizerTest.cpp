// The summariser against fake providers on 127.0.0.1: what it sends, what it makes of the answers, and
// when it keeps quiet. Rate limits run on the manual clock; the event loop turns only to let the fake
// server and the deliveries through.
#include "sessions/AgentSessionStore.h"
#include "summary/AgentSummarizer.h"
#include "FakeHttpServer.h"
#include "ManualTime.h"
#include "model/PetRenderer.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"
#include "summary/SummaryEndpoint.h"
#include "summary/SummaryRequest.h"
#include "summary/SummaryResponse.h"
#include "summary/SummaryWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QThread>

#include <atomic>

#include <gtest/gtest.h>

namespace nubbo {
namespace {

using fakes::FakeHttpServer;

const QByteArray kKey = "sk-test-0123456789";

bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QByteArray openAIReply(const QString& content) {
    return QJsonDocument(QJsonObject{{"choices", QJsonArray{QJsonObject{
                                                     {"message", QJsonObject{{"role", "assistant"}, {"content", content}}}}}}})
        .toJson();
}

// Counts look-ups, which happen on the summariser's thread.
class CountingSecrets final : public fakes::MemorySecretStore {
public:
    std::optional<QString> string(const QString& key) override {
        ++reads;
        return MemorySecretStore::string(key);
    }
    std::atomic<int> reads{0};
};

struct Delivered {
    QString key, text, forSay;
    bool onCreatingThread;
};

class LastBubble final : public PetRenderer {
public:
    void render(PetState, const std::optional<PetBubbleKind>& bubble, bool, const std::optional<AgentProvider>&) override {
        text = bubble ? plainText(*bubble) : QString();
    }
    double facing() const override { return 1.0; }
    void setFacing(double) override {}
    QString text;
};

class SummarizerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listening());
        settings.setSmartSummary(true);
        settings.setSummaryProvider(SummaryProvider::custom);
        settings.setSummaryBaseURL(server.url("/v1"), SummaryProvider::custom);
        settings.setSummaryModel("local-model", SummaryProvider::custom);
        secrets.items.insert("apiKey.custom", kKey);
        server.fallback = {200, openAIReply("Reading the parser")};
    }

    void at(double t) { clock.set(1000.0 + t); }
    void say(const QString& text, const QString& session = "claude:s1") {
        summarizer.summarize(session, text, std::nullopt);
        summarizer.waitUntilHandedOver();
    }
    // Waits for every sent request to end and its line (if any) to be delivered.
    bool settle() {
        return spinUntil([&] {
            return summarizer.requestsFinished() == summarizer.requestsSent() &&
                   server.requests.size() == static_cast<std::size_t>(summarizer.requestsSent());
        }) && (QCoreApplication::processEvents(), true);
    }

    FakeHttpServer server;
    fakes::MemoryPreferences preferences;
    CountingSecrets secrets;
    fakes::RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{"en-US"}; }};
    fakes::ManualClock clock;
    std::vector<Delivered> delivered;
    std::function<void(const Delivered&)> onDelivered;
    AgentSummarizer summarizer{settings, secrets, clock, [this](const QString& key, const QString& text, const QString& forSay) {
                                   delivered.push_back({key, text, forSay, QThread::currentThread() == qApp->thread()});
                                   if (onDelivered) onDelivered(delivered.back());
                               }};
};

TEST_F(SummarizerTest, ChatCompletionsRequestAndItsLineReachTheStoreOnlyWhileTheNarrationIsCurrent) {
    LastBubble pet;
    fakes::SeededRandom random{1};
    AgentSessionStore store{settings, pet, clock, random, {}, summarizer};
    onDelivered = [&](const Delivered& d) { store.setSummary(d.key, d.text, d.forSay); };
    AgentEvent read{QUuid::createUuid(), AgentProvider("claude"), AgentEventType::coding, "msg", {}, {}, {}, {}, {}, "s1", {}, {}};
    read.toolName = "Read";
    read.command = "parser.cpp";
    read.say = "  Checking the parser.\n";

    server.script(FakeHttpServer::Reply::held());
    at(0), store.apply(read);
    ASSERT_TRUE(spinUntil([&] { return server.heldCount() == 1; }));
    const auto& sent = server.requests.at(0);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.path, "/v1/chat/completions");
    EXPECT_EQ(sent.headers.value("content-type"), "application/json");
    EXPECT_EQ(sent.headers.value("authorization"), "Bearer " + kKey);
    EXPECT_FALSE(sent.headers.contains("x-api-key"));
    const QJsonObject expected{
        {"model", "local-model"},
        {"max_tokens", 64},
        {"messages",
         QJsonArray{QJsonObject{{"role", "system"}, {"content", SummaryRequest::systemPrompt(false)}},
                    QJsonObject{{"role", "user"}, {"content", "Checking the parser.\n(tool: Reading parser.cpp)"}}}}};
    EXPECT_EQ(sent.json(), expected);
    EXPECT_TRUE(SummaryRequest::systemPrompt(false).startsWith("You are watching an AI coding assistant"));

    // The line comes back on the main thread with the narration as sent (trimmed); the store still takes it.
    server.release(200, openAIReply("\u201CChecking the parser\u201D\n"));
    ASSERT_TRUE(spinUntil([&] { return pet.text == "Checking the parser"; })) << pet.text.toStdString();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].forSay, "Checking the parser.");
    EXPECT_TRUE(delivered[0].onCreatingThread);

    // A line that comes back after the agent said something new is dropped by the store.
    server.script(FakeHttpServer::Reply::held());
    read.say = "Now the lexer.";
    at(5), store.apply(read);
    ASSERT_TRUE(spinUntil([&] { return server.heldCount() == 1; }));
    AgentEvent answer = read;
    answer.type = AgentEventType::responding;
    answer.say = "All done.";
    at(6), store.apply(answer);
    server.release(200, openAIReply("Working on the lexer"));
    ASSERT_TRUE(spinUntil([&] { return delivered.size() == 2; }));
    EXPECT_EQ(delivered[1].text, "Working on the lexer");
    EXPECT_EQ(pet.text, "All done.");
    EXPECT_FALSE(store.session("claude:s1")->summary.has_value());
}

TEST_F(SummarizerTest, OneSessionAskedAtMostOnceInFourSecondsOneAtATimeNeverTwiceForTheSameWords) {
    at(0), say("First narration.");
    ASSERT_TRUE(settle());
    at(1), say("Second narration, a second later.");
    say("Another session is not held back.", "codex:s2");
    ASSERT_TRUE(settle());
    EXPECT_EQ(summarizer.requestsSent(), 2);
    EXPECT_EQ(server.requests.at(1).json()["messages"].toArray()[1].toObject()["content"],
              "Another session is not held back.");

    at(5), say("Third narration.");
    ASSERT_TRUE(settle());
    EXPECT_EQ(summarizer.requestsSent(), 3);
    at(15), say("Third narration.");
    EXPECT_EQ(summarizer.requestsSent(), 3);

    // While a request is under way the session waits, however long; nothing said meanwhile is kept.
    server.script(FakeHttpServer::Reply::held());
    at(20), say("Fourth narration.");
    at(30), say("Said while the fourth is under way.");
    ASSERT_TRUE(spinUntil([&] { return server.heldCount() == 1; }));
    server.release(200, openAIReply("Fourth"));
    ASSERT_TRUE(settle());
    EXPECT_EQ(summarizer.requestsSent(), 4);
    at(31), say("Fifth narration.");
    ASSERT_TRUE(settle());
    EXPECT_EQ(summarizer.requestsSent(), 5);

    QStringList lines;
    for (const auto& d : delivered) lines << d.key + " " + d.text;
    EXPECT_EQ(lines.join(" | ").toStdString(), "claude:s1 Reading the parser | codex:s2 Reading the parser | "
                                                "claude:s1 Reading the parser | claude:s1 Fourth | "
                                                "claude:s1 Reading the parser");
}

TEST_F(SummarizerTest, FailuresAreSilentAndTheSessionMayAskAgainFourSecondsLater) {
    const FakeHttpServer::Reply failures[] = {
        {401, R"({"error":{"type":"authentication_error"}})"},
        {500, openAIReply("An error page that looks like an answer")},
        {200, R"({"choices":[]})"},
        {200, "not json"},
        {200, openAIReply(" \n ")},
        // A whole answer, but the connection ends before the length it announced: a transport error.
        {200, openAIReply("Cut short"), false, true},
    };
    double t = 0;
    for (const auto& failure : failures) {
        server.script(failure);
        at(t), say(QStringLiteral("Narration at %1.").arg(t));
        at(t + 1), say(QStringLiteral("Too soon after %1.").arg(t));
        ASSERT_TRUE(settle()) << "after the reply with status " << failure.status;
        t += 4;
    }
    EXPECT_EQ(summarizer.requestsSent(), 6);
    EXPECT_TRUE(delivered.empty());
    at(t), say("After the failures.");
    ASSERT_TRUE(settle());
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].text, "Reading the parser");
}

TEST_F(SummarizerTest, NothingIsSentWithoutTheSwitchAKeyAnEndpointOrWords) {
    double t = 0;
    const auto tryOnce = [&](const QString& words = "Something to summarise.") {
        t += 10;
        at(t), say(words + QString::number(t));
    };
    settings.setSmartSummary(false), tryOnce();
    settings.setSmartSummary(true);
    secrets.items.remove("apiKey.custom"), tryOnce();
    secrets.items.insert("apiKey.openai", kKey), tryOnce();  // another provider's key is not this one's
    secrets.items.insert("apiKey.custom", ""), tryOnce();
    secrets.items.insert("apiKey.custom", kKey);
    settings.setSummaryBaseURL("", SummaryProvider::custom), tryOnce();
    settings.setSummaryBaseURL("127.0.0.1 port 80", SummaryProvider::custom), tryOnce();
    settings.setSummaryBaseURL(server.url("/v1"), SummaryProvider::custom);
    t += 10, at(t), say(" \n\t ");
    EXPECT_EQ(summarizer.requestsSent(), 0);

    tryOnce();
    ASSERT_TRUE(settle());
    EXPECT_EQ(summarizer.requestsSent(), 1);
    EXPECT_EQ(server.requests.size(), 1u);

    // A missing key is looked up again only 4 s later, whichever session asks; then a key just stored works.
    secrets.items.remove("apiKey.custom");
    const int reads = secrets.reads;
    t += 10, at(t), say("One session.", "claude:a"), say("Another session.", "claude:b");
    secrets.items.insert("apiKey.custom", kKey);
    at(t + 1), say("Again.", "claude:a");
    EXPECT_EQ(secrets.reads, reads + 1);
    at(t + 4), say("Again.", "claude:a");
    ASSERT_TRUE(settle());
    EXPECT_EQ(summarizer.requestsSent(), 2);
}

// The Anthropic format goes to a fixed public address in the app; the worker is pointed at the fake here.
TEST(SummaryWorkerTest, AnthropicMessagesRequestInChineseAndItsTextItemsJoined) {
    FakeHttpServer server;
    ASSERT_TRUE(server.listening());
    server.fallback = {200, R"({"id":"msg_1","type":"message","role":"assistant","content":[)"
                            R"({"type":"text","text":"「正在读取"},{"type":"tool_use","id":"t","name":"x","input":{}},)"
                            R"({"type":"text","text":"解析器」"}],"stop_reason":"end_turn"})"};
    fakes::MemorySecretStore secrets;
    secrets.items.insert("apiKey.anthropic", kKey);
    std::vector<QStringList> lines;
    SummaryWorker worker(secrets, [&](const QString& key, const QString& text, const QString& forSay) {
        lines.push_back({key, text, forSay});
    });
    SummaryJob job{"claude:s1", "我先看看解析器。", QString("读取 parser.cpp"),
                   SummaryConfig{SummaryProvider::anthropic, {}, "claude-haiku-4-5", server.url(), true}, 0};
    worker.handle(job);
    ASSERT_TRUE(spinUntil([&] { return worker.finished() == 1; }));

    ASSERT_EQ(server.requests.size(), 1u);
    const auto& sent = server.requests[0];
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.path, "/v1/messages");
    EXPECT_EQ(sent.headers.value("content-type"), "application/json");
    EXPECT_EQ(sent.headers.value("x-api-key"), kKey);
    EXPECT_EQ(sent.headers.value("anthropic-version"), "2023-06-01");
    EXPECT_FALSE(sent.headers.contains("authorization"));
    const QJsonObject expected{{"model", "claude-haiku-4-5"},
                               {"max_tokens", 64},
                               {"system", SummaryRequest::systemPrompt(true)},
                               {"messages", QJsonArray{QJsonObject{{"role", "user"}, {"content", "我先看看解析器。\n(工具:读取 parser.cpp)"}}}}};
    EXPECT_EQ(sent.json(), expected);
    EXPECT_TRUE(SummaryRequest::systemPrompt(true).startsWith("你在帮用户盯着一个 AI 编码助手。"));
    EXPECT_EQ(lines, (std::vector<QStringList>{{"claude:s1", "正在读取解析器", "我先看看解析器。"}}));

    const auto built = SummaryRequest::build(job.config, job.say, job.detail);
    ASSERT_TRUE(built.has_value());
    EXPECT_EQ(built->request.transferTimeout(), 12000);
}

// One narration at a time through a worker of its own, to the endpoint given.
class OneWorker {
public:
    explicit OneWorker(SummaryLimits limits = {})
        : worker_(secrets_, [this](const QString&, const QString& text, const QString&) { lines.push_back(text); },
                  limits) {
        secrets_.items.insert("apiKey.custom", kKey);
    }
    // True once the request, if one was sent, has ended.
    bool ask(const QString& baseURL) {
        ++asked_;
        worker_.handle({QStringLiteral("claude:s%1").arg(asked_), "Reading the parser.", std::nullopt,
                        SummaryConfig{SummaryProvider::custom, {}, "local-model", baseURL, false}, 0});
        return spinUntil([&] { return worker_.finished() == worker_.sent(); });
    }
    int sent() const { return worker_.sent(); }

    std::vector<QString> lines;

private:
    fakes::MemorySecretStore secrets_;
    SummaryWorker worker_;
    int asked_ = 0;
};

FakeHttpServer::Reply redirectTo(const QString& location) {
    FakeHttpServer::Reply reply{307, {}};
    reply.headers = "Location: " + location.toUtf8() + "\r\n";
    return reply;
}

TEST(SummaryWorkerTest, RedirectsAreFollowedOnlyToTheSameSchemeHostAndPort) {
    FakeHttpServer provider, elsewhere;
    ASSERT_TRUE(provider.listening() && elsewhere.listening());
    provider.fallback = elsewhere.fallback = {200, openAIReply("Reading the parser")};
    struct Case {
        const char* what;
        QString location;
        std::size_t providerRequests;
        std::size_t lines;
    };
    const Case cases[] = {
        {"another port", elsewhere.url("/v1/chat/completions"), 1, 0},
        {"another name for the host", QStringLiteral("http://localhost:%1/v2/chat/completions").arg(provider.port()), 1, 0},
        {"the same origin", provider.url("/v2/chat/completions"), 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        provider.requests.clear();
        provider.script(redirectTo(c.location));
        OneWorker worker;
        ASSERT_TRUE(worker.ask(provider.url("/v1")));
        EXPECT_EQ(provider.requests.size(), c.providerRequests);
        EXPECT_EQ(worker.lines.size(), c.lines);
        if (provider.requests.size() == 2) {
            EXPECT_EQ(provider.requests[1].body, provider.requests[0].body);
        }
    }
    // The other server never heard of the key or the narration: not even a connection reached it.
    EXPECT_EQ(elsewhere.connections, 0);
}

TEST(SummaryWorkerTest, AReplyEndsAtTheDeadlineAndIsCutOffPastTheSizeLimit) {
    // A well-formed answer of exactly `size` bytes: read whole, it would give a line.
    const auto answerOf = [](qsizetype size, bool announced = true) {
        FakeHttpServer::Reply reply{200, R"({"choices":[{"message":{"content":"Reading the parser"}}],"padding":")"};
        reply.body += QByteArray(size - reply.body.size() - 2, 'x') + "\"}";
        reply.withoutLength = !announced;
        return reply;
    };
    FakeHttpServer::Reply trickle{200, openAIReply("Reading the parser")};
    trickle.trickleMs = 20;  // never idle long, done only after about 2 s
    using std::chrono::milliseconds;
    struct Case {
        const char* what;
        FakeHttpServer::Reply reply;
        milliseconds deadline;
        std::size_t lines;
    };
    const Case cases[] = {
        {"64 KiB, the most a reply may be", answerOf(64 * 1024), milliseconds(20000), 1},
        {"a byte more, its length unannounced", answerOf(64 * 1024 + 1, false), milliseconds(20000), 0},
        {"10 MB", answerOf(10 << 20), milliseconds(20000), 0},
        {"10 MB, its length unannounced", answerOf(10 << 20, false), milliseconds(20000), 0},
        {"a trickle", trickle, milliseconds(400), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHttpServer provider;
        provider.fallback = c.reply;
        OneWorker worker(SummaryLimits{c.deadline, 64 * 1024});
        QElapsedTimer elapsed;
        elapsed.start();
        ASSERT_TRUE(worker.ask(provider.url("/v1")));
        EXPECT_EQ(worker.sent(), 1);
        EXPECT_EQ(worker.lines.size(), c.lines);
        if (c.deadline.count() < 1000) {
            EXPECT_GE(elapsed.elapsed(), c.deadline.count());
        }
    }
}

TEST(SummaryWorkerTest, PlainHttpGoesOnlyToThisMachineAndNeverThroughAProxy) {
    FakeHttpServer provider, proxy;
    ASSERT_TRUE(provider.listening() && proxy.listening());
    provider.fallback = {200, openAIReply("Reading the parser")};
    proxy.fallback = {403, {}};
    // Every request to another machine goes through this proxy, so none can leave unseen.
    for (const char* name : {"http_proxy", "https_proxy"})
        qputenv(name, proxy.url().toUtf8());
    struct Case {
        const char* what;
        QString endpoint;
        int sent;
        bool proxied;
        std::size_t lines;
    };
    const Case cases[] = {
        {"https to another machine", "https://192.0.2.1/v1", 1, true, 0},
        {"http to another machine", "http://192.0.2.1/v1", 0, false, 0},
        {"http to this machine", provider.url("/v1"), 1, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = proxy.connections;
        OneWorker worker;
        ASSERT_TRUE(worker.ask(c.endpoint));
        EXPECT_EQ(worker.sent(), c.sent);
        EXPECT_EQ(proxy.connections > before, c.proxied);
        EXPECT_EQ(worker.lines.size(), c.lines);
    }
    for (const char* name : {"http_proxy", "https_proxy"})
        qunsetenv(name);
}

TEST(SummaryEndpointTest, HttpsAnywherePlainHttpOnlyOnThisMachine) {
    using enum EndpointProblem;
    const std::pair<const char*, EndpointProblem> cases[] = {
        {"", none}, {"https://api.example.com/v1", none}, {"http://127.8.9.10:8080/v1", none},
        {"http://[::1]:11434/v1", none}, {"HTTP://LocalHost/v1", none}, {"http://api.example.com/v1", notEncrypted},
        {"http://127.0.0.1.example.com/v1", notEncrypted}, {"http://[::2]/v1", notEncrypted},
        {"ftp://api.example.com/v1", notAnAddress}, {"127.0.0.1 port 80", notAnAddress}};
    for (const auto& [endpoint, problem] : cases)
        EXPECT_EQ(SummaryEndpoint::problem(QString::fromUtf8(endpoint)), problem) << endpoint;
}

TEST(SummaryResponseTest, RepliesOfEveryShapeBecomeOneShortLineOrNothing) {
    using namespace SummaryResponse;
    const auto anthropic = [](const char* body) { return summaryFrom(SummaryProvider::anthropic, 200, body); };
    const auto openAI = [](const char* body) { return summaryFrom(SummaryProvider::deepseek, 200, body); };

    EXPECT_EQ(openAI(R"({"choices":[{"message":{"content":"\"Fixing the build\""}}]})"), "Fixing the build");
    EXPECT_EQ(openAI(R"({"choices":[{"message":{"content":"『修复』构建\n第二行"}}]})"), "修复构建 第二行");
    EXPECT_EQ(anthropic(R"({"content":[{"type":"text","text":" Reading "},{"type":"text","text":"files"}]})"),
              "Reading files");
    for (const char* wrong : {R"({"content":"text"})", R"({"content":[{"type":"tool_use"}]})",
                              R"({"content":[{"type":"text","text":"a"}, 3]})", R"({"choices":[]})", "[]", ""}) {
        EXPECT_EQ(anthropic(wrong), std::nullopt) << wrong;
        EXPECT_EQ(openAI(wrong), std::nullopt) << wrong;
    }
    EXPECT_EQ(openAI(R"({"choices":[{"message":{"content":"\"\u201C\u201D\""}}]})"), std::nullopt);
    EXPECT_EQ(summaryFrom(SummaryProvider::openai, 201, R"({"choices":[{"message":{"content":"ok"}}]})"), std::nullopt);

    const QString sixty = QString(60, u'a');
    EXPECT_EQ(tidy(sixty), QString(40, u'a') + "…");
    EXPECT_EQ(tidy(QString(40, u'b')), QString(40, u'b'));
    // Cut by what a reader counts as characters: an emoji (two UTF-16 units) is one and stays whole.
    const QString emoji = QStringLiteral("\U0001F600");
    EXPECT_EQ(tidy(QString(39, u'c') + emoji + "dd"), QString(39, u'c') + emoji + "…");
    EXPECT_EQ(tidy(QString(39, u'c') + emoji), QString(39, u'c') + emoji);
}

} // namespace
} // namespace nubbo

int main(int argc, char** argv) {
    // The fake providers are on this machine: no proxy stands in between.
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
