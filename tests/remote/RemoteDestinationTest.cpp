// What `nubbo remote add` accepts as a host, what it passes to ssh, and what it refuses.
#include "remote/RemoteHost.h"

#include <gtest/gtest.h>

using namespace nubbo;

TEST(RemoteDestination, SplitsWhatSshGetsFromWhatSessionsShowAndRefusesWhatSshCouldMisread) {
    struct Row {
        QString text;
        std::optional<RemoteDestination> parsed;  // none: refused
        QString refusal = {};                      // part of the reason
    };
    const std::vector<Row> rows = {
        {"build-box", RemoteDestination{"build-box", "build-box", std::nullopt}},
        {"alice@build-box", RemoteDestination{"build-box", "alice@build-box", std::nullopt}},
        {"alice@build-box:2222", RemoteDestination{"build-box", "alice@build-box", 2222}},
        {"build-box:1", RemoteDestination{"build-box", "build-box", 1}},
        {"build-box:65535", RemoteDestination{"build-box", "build-box", 65535}},
        {"[::1]:2222", RemoteDestination{"::1", "::1", 2222}},
        {"bob@[fe80::1]", RemoteDestination{"fe80::1", "bob@fe80::1", std::nullopt}},
        {"fe80::1", RemoteDestination{"fe80::1", "fe80::1", std::nullopt}},
        {"a.b@c@10.0.0.7", RemoteDestination{"10.0.0.7", "a.b@c@10.0.0.7", std::nullopt}},
        {"", std::nullopt, "no host"},
        {"-oProxyCommand=touch /tmp/x", std::nullopt, "option"},
        {"alice@-oProxyCommand=x", std::nullopt, "option"},
        {"-alice@box", std::nullopt, "option"},
        {"alice@box -p 22", std::nullopt, "white space"},
        {"box\n", std::nullopt, "control"},
        {"bo\tx", std::nullopt, "white space"},
        {"bo\x1bx", std::nullopt, "control"},
        {"box:0", std::nullopt, "1 to 65535"},
        {"box:65536", std::nullopt, "1 to 65535"},
        {"box:+22", std::nullopt, "1 to 65535"},
        {"box:", std::nullopt, "1 to 65535"},
        {"[::1]x", std::nullopt, ":PORT"},
        {"[::1", std::nullopt, "\"]\""},
        {"@box", std::nullopt, "no user"},
        {"alice@", std::nullopt, "no host"},
        {"alice@:22", std::nullopt, "no host"},
        {"..", std::nullopt, "not a host name"},
        {"a/b", std::nullopt, "not a host name"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.toStdString());
        QString error;
        const std::optional<RemoteDestination> parsed = RemoteDestination::parse(row.text, &error);
        EXPECT_EQ(parsed, row.parsed);
        if (row.parsed) {
            EXPECT_TRUE(error.isEmpty());
            // What the list shows parses back to the same host.
            EXPECT_EQ(RemoteDestination::parse(parsed->text()), parsed);
        } else {
            EXPECT_TRUE(error.contains(row.refusal)) << error.toStdString();
        }
    }
}
