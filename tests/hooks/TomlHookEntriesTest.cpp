#include "common/ProviderRegistry.h"
#include "hooks/TomlHookEntries.h"

#include <toml++/toml.h>

#include <gtest/gtest.h>

using namespace nubbo;

namespace {

const ProviderSpec& kimi() { return *ProviderRegistry::spec("kimi"); }

std::string commandFor(std::string_view event) {
    // A home folder with a quote and a backslash: the TOML string must carry both.
    return "'/home/a\"b\\c/.nubbo/bin/nubbo-bridge' --source kimi --event " + std::string(event);
}

const std::string kUser = "# my settings\r\n"
                          "default_model = \"k2\"\r\n"
                          "\n"
                          "[[hooks]]\n"
                          "event = \"PreToolUse\"  # keep the shell honest\n"
                          "matcher = 'Bash'\n"
                          "command = \"guard.sh\"\n"
                          "\n"
                          "[loop_control]\n"
                          "max_steps = 40";

} // namespace

TEST(TomlHookEntries, MergeAppendsTablesTheAgentReadsAndStripGivesTheUsersTextBack) {
    const TomlHookEntries::Edit merged = TomlHookEntries::merge(kUser, kimi(), commandFor);
    ASSERT_TRUE(merged.ok()) << merged.error;
    EXPECT_EQ(merged.text.rfind(kUser, 0), 0u) << "the user's text stays as it was, in front";

    const toml::table document = toml::parse(merged.text);
    const toml::array& hooks = *document["hooks"].as_array();
    ASSERT_EQ(hooks.size(), 1 + kimi().events.size());
    const toml::table& first = *hooks[1].as_table();
    EXPECT_EQ(first.size(), 3u) << "event, command and timeout: the agent refuses any other key";
    EXPECT_EQ(first["event"].value<std::string>(), "SessionStart");
    EXPECT_EQ(first["command"].value<std::string>(), commandFor("SessionStart"));
    EXPECT_EQ((*hooks.back().as_table())["timeout"].value<int64_t>(), 5);
    EXPECT_EQ(document["loop_control"]["max_steps"].value<int64_t>(), 40) << "the last table kept its key";

    EXPECT_TRUE(TomlHookEntries::isWired(merged.text, kimi().events));
    EXPECT_FALSE(TomlHookEntries::isWired(kUser, kimi().events));
    EXPECT_EQ(TomlHookEntries::merge(merged.text, kimi(), commandFor).text, merged.text) << "a second merge is a no-op";
    EXPECT_EQ(TomlHookEntries::strip(merged.text), kUser + "\n");
    EXPECT_EQ(TomlHookEntries::strip(kUser), std::nullopt) << "nothing of the app's: the bytes are left alone";
    EXPECT_EQ(TomlHookEntries::strip(TomlHookEntries::merge("", kimi(), commandFor).text), "");
}

TEST(TomlHookEntries, WhatCannotBeEditedSafelyIsRefused) {
    EXPECT_NE(TomlHookEntries::merge("model = ", kimi(), commandFor).error.find("is not valid TOML (line 1"),
              std::string::npos);
    // Hooks as an inline array cannot take [[hooks]] tables after them.
    EXPECT_FALSE(TomlHookEntries::merge("hooks = []\n", kimi(), commandFor).ok());
    // A table of the app's that a multi-line string follows is not of the app's shape: it stays, and so does
    // the rest of the file.
    const std::string edited = "[[hooks]]\nevent = \"Stop\"\ncommand = \"nubbo-bridge --event Stop\"\n"
                               "matcher = \"\"\"\nStop\"\"\"\n";
    EXPECT_EQ(TomlHookEntries::strip(edited), std::nullopt);
    EXPECT_FALSE(TomlHookEntries::isWired(edited, {"Stop"})) << "what cannot be unwired is not the app's wiring";
    // A user's own table that runs the bridge is the user's: after an install and an uninstall the event the
    // app wired is free again.
    const std::string users = "[[hooks]]\nevent = \"Stop\"\nname = \"mine\"\ncommand = \"nubbo-bridge mine\"\n";
    const auto stripped = TomlHookEntries::strip(TomlHookEntries::merge(users, kimi(), commandFor).text);
    ASSERT_TRUE(stripped);
    EXPECT_FALSE(TomlHookEntries::isWired(*stripped, {"Stop"}));
}
