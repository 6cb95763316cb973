// Whether Codex has trusted the app's hooks, read from Codex's own config.toml as Codex 0.171 writes it.
#include "hooks/CodexHookReview.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace nubbo {
namespace {

void write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(CodexHookReview, TellsUntrustedFromTrustedEntriesByTheirPlaceInHooksJson) {
    QTemporaryDir home;
    const QString hooks = home.filePath(".codex/hooks.json");
    EXPECT_EQ(CodexHookReview::check(hooks).status, CodexHookReview::Status::notWired);

    // The user's own Stop hook comes first, so the app's Stop entry is group 1.
    write(hooks, R"({"hooks": {
        "PreToolUse": [{"hooks": [{"command": "'/h/.nubbo/bin/nubbo-bridge' --source codex --event PreToolUse", "type": "command"}]}],
        "Stop": [{"hooks": [{"command": "notify-send done", "type": "command"}]},
                 {"hooks": [{"command": "'/h/.nubbo/bin/nubbo-bridge' --source codex --event Stop", "type": "command"}]}]}})");
    CodexHookReview review = CodexHookReview::check(hooks);
    EXPECT_EQ(review.status, CodexHookReview::Status::unreviewed);
    EXPECT_EQ(review.pendingEvents, (QStringList{"PreToolUse", "Stop"}));
    EXPECT_TRUE(review.advice().contains("Trust all and continue"));

    // Trust for the user's hook (group 0) does not cover the app's (group 1).
    const QByteArray table = "[hooks.state.\"" + hooks.toUtf8() + ":%1\"]\ntrusted_hash = \"sha256:50c2\"\n";
    write(home.filePath(".codex/config.toml"),
          "model = \"m\"\n\n[hooks.state]\n\n" + QByteArray(table).replace("%1", "pre_tool_use:0:0") +
              QByteArray(table).replace("%1", "stop:0:0") + "\n[tui]\nscreen_reader_detection_done = true\n");
    review = CodexHookReview::check(hooks);
    EXPECT_EQ(review.pendingEvents, (QStringList{"Stop"}));

    write(home.filePath(".codex/config.toml"),
          QByteArray(table).replace("%1", "pre_tool_use:0:0") + QByteArray(table).replace("%1", "stop:1:0"));
    review = CodexHookReview::check(hooks);
    EXPECT_EQ(review.status, CodexHookReview::Status::reviewed);
    EXPECT_TRUE(review.pendingEvents.isEmpty());
}

} // namespace
} // namespace nubbo
