// The assembled app with smart summary on: a real bridge event that carries the agent's narration ends
// with the provider's line in the pet's bubble. The key sits in a real (private) Secret Service and the
// provider is a fake OpenAI-compatible server on 127.0.0.1.
#include "shell/AppStartup.h"
#include "BridgeRun.h"
#include "FakeHttpServer.h"
#include "shell/GuiEnvironment.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/KeychainStore.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using nubbo::e2e::runBridge;
using nubbo::e2e::spinUntil;

const QString kKey = QStringLiteral("sk-e2e-5f1c9a7d3b");

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void write(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

TEST(AppSummary, NarrationFromTheBridgeEndsAsTheProvidersLineInTheBubble) {
    if (!qEnvironmentVariableIsSet("NUBBO_TEST_SECRET_SERVICE"))
        GTEST_SKIP() << "runs inside with-keyring.sh (as CTest does), never against the user's keyring";
    QTemporaryDir home(QDir::tempPath() + "/nubbo-e2e-summary-XXXXXX");
    ASSERT_TRUE(home.isValid());
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    // The bridge below is given the same runtime folder.
    qputenv("XDG_RUNTIME_DIR", nubbo::e2e::runtimeDirOf(home.path()).toLocal8Bit());
    ASSERT_TRUE(spinUntil([] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.secrets").value();
    })) << "no Secret Service on the session bus";
    nubbo::KeychainStore::shared().set(kKey, "apiKey.custom");
    ASSERT_EQ(nubbo::KeychainStore::shared().string("apiKey.custom"), kKey);

    nubbo::fakes::FakeHttpServer provider;
    ASSERT_TRUE(provider.listening());
    provider.fallback = {200, R"({"choices":[{"message":{"role":"assistant","content":"\"Tidying the parser\""}}]})"};
    {
        nubbo::JsonPreferencesDomain preferences(nubbo::JsonPreferencesDomain::defaultFilePath());
        preferences.setValue("settings.smartSummary", true);
        preferences.setValue("settings.summaryProvider", "custom");
        preferences.setValue("summary.baseURL.custom", provider.url("/v1"));
        preferences.setValue("summary.model.custom", "local-model");
    }

    auto startup = std::make_unique<nubbo::AppStartup>();
    startup->run();
    const QString logs = home.path() + "/.local/state/Nubbo/";
    ASSERT_TRUE(spinUntil([&] { return readAll(logs + "nubbo.log").contains("nubbo socket listening at"); }));

    const QString transcript = home.path() + "/.claude/projects/p/session.jsonl";
    write(transcript,
          R"({"type":"assistant","message":{"role":"assistant","content":[{"type":"text","text":"I refactored the parser. Then I added tests."},{"type":"tool_use","id":"t1","name":"Bash","input":{"command":"ls"}}]}})"
          "\n");
    const QString payload = home.path() + "/payload.json";
    write(payload, QJsonDocument(QJsonObject{{"session_id", "e2e-summary"},
                                             {"transcript_path", transcript},
                                             {"cwd", home.path()},
                                             {"hook_event_name", "PreToolUse"},
                                             {"tool_name", "Bash"},
                                             {"tool_input", QJsonObject{{"command", "ls"}}}})
                       .toJson());
    EXPECT_EQ(runBridge(home.path(), "PreToolUse", payload).out, "");

    const bool summarised = spinUntil([&] { return readAll(logs + "nubbo.log").contains(" bubble Tidying the parser\n"); });
    const QString log = readAll(logs + "nubbo.log");
    EXPECT_TRUE(summarised) << log.toStdString();
    // The agent's own words came first, then the line that replaced them.
    EXPECT_LT(log.indexOf(" bubble I refactored the parser.\n"), log.indexOf(" bubble Tidying the parser\n"));
    ASSERT_EQ(provider.requests.size(), 1u);
    EXPECT_EQ(provider.requests[0].path, "/v1/chat/completions");
    EXPECT_EQ(provider.requests[0].headers.value("authorization"), "Bearer " + kKey.toUtf8());
    EXPECT_EQ(provider.requests[0].json()["messages"].toArray()[1].toObject()["content"],
              "I refactored the parser.\n(tool: Running ls)");

    // The key goes to the provider and nowhere else: not the logs, not the settings export.
    const QString exported = QString::fromUtf8(QJsonDocument(nubbo::SettingsStore::shared().exportDictionary()).toJson());
    EXPECT_TRUE(exported.contains("summaryProvider"));
    for (const QString& text : {log, readAll(logs + "agent.log"), exported})
        EXPECT_FALSE(text.contains(kKey));
    startup.reset();
}

} // namespace

int main(int argc, char** argv) {
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        qunsetenv(name);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    nubbo::prepareGuiEnvironment();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
