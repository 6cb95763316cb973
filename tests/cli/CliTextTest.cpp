// What the command line prints from a status document: the table, the status-bar forms and watch's diff.
#include "cli/StatusDiff.h"
#include "cli/StatusText.h"

#include <gtest/gtest.h>

namespace {

using namespace nubbo::cli;

// Three sessions, most recent first: one waiting on a risky command, one working, one resting.
constexpr char kThree[] = R"({"version":1,"approvalMode":"manual","paused":false,"sessions":[
 {"id":"s-wait","agent":"codex","host":null,"cwd":"/srv/api","state":"waitingApproval","activity":"Bash",
  "updatedAt":"2026-12-10T23:00:50Z","request":{"id":"0f1e","command":"rm -rf build","risky":true,"askedAt":"2026-12-10T23:00:50Z"}},
 {"id":"s-work","agent":"claude","host":"box","cwd":"/srv/web","state":"coding","activity":"Editing a.cpp",
  "updatedAt":"2026-12-10T22:58:00Z","request":null},
 {"id":"s-rest","agent":"claude","host":null,"cwd":null,"state":"idle","activity":"",
  "updatedAt":"2026-12-09T23:01:00Z","request":null}]})";

StatusDocument parsed(const QByteArray& json) {
    const auto status = parseStatus(json);
    EXPECT_TRUE(status.has_value()) << json.constData();
    return status.value_or(StatusDocument{});
}

QByteArray withoutSessions(bool paused, const char* state = nullptr) {
    const QByteArray sessions = state ? QByteArray(R"({"id":"a","agent":"claude","state":")") + state + R"("})" : "";
    return QByteArray(R"({"version":1,"approvalMode":"auto","paused":)") + (paused ? "true" : "false") +
           R"(,"sessions":[)" + sessions + "]}";
}

TEST(CliText, TableShowsEverySessionItsRequestAndTheSwitches) {
    const QDateTime now = QDateTime::fromString("2026-12-10T23:01:00Z", Qt::ISODate);
    EXPECT_EQ(statusTable(parsed(kThree), now).toStdString(),
              "AGENT   HOST   FOLDER    STATE            ACTIVITY       AGE\n"
              "codex   local  /srv/api  waitingApproval  Bash           10s\n"
              "  waiting 0f1e (risky): rm -rf build\n"
              "claude  box    /srv/web  coding           Editing a.cpp  3m\n"
              "claude  local  -         idle             -              1d\n"
              "approval mode: manual\n"
              "paused: no\n");
    EXPECT_EQ(statusTable(parsed(withoutSessions(true)), now).toStdString(),
              "no live sessions\napproval mode: auto\npaused: yes\n");
}

TEST(CliText, BarFormsNameTheMostUrgentSession) {
    struct Case {
        QByteArray json;
        const char* waybar;
        const char* format;
    };
    const QString pattern = "{sessions}/{waiting} {state} {agent} {other}";
    const Case cases[] = {
        {kThree, R"j({"class":"waiting","text":"3 (1 waiting)","tooltip":"codex in /srv/api: waitingApproval\nclaude in /srv/web: coding\nclaude in -: idle"})j",
         "3/1 waitingApproval codex {other}"},
        {withoutSessions(false, "running"), R"j({"class":"working","text":"1","tooltip":"claude in -: running"})j",
         "1/0 running claude {other}"},
        {withoutSessions(false, "waitingInput"), R"j({"class":"waiting","text":"1 (1 waiting)","tooltip":"claude in -: waitingInput"})j",
         "1/1 waitingInput claude {other}"},
        {withoutSessions(true, "coding"), R"j({"class":"paused","text":"1","tooltip":"claude in -: coding\npaused"})j",
         "1/0 coding claude {other}"},
        {withoutSessions(false), R"j({"class":"idle","text":"0","tooltip":"no live sessions"})j", "0/0 idle  {other}"},
    };
    for (const Case& c : cases) {
        const StatusDocument status = parsed(c.json);
        EXPECT_EQ(waybarObject(status).toStdString(), c.waybar) << c.json.constData();
        EXPECT_EQ(formatStatus(status, pattern).toStdString(), c.format) << c.json.constData();
    }
    EXPECT_FALSE(parseStatus(R"({"version":2,"sessions":[]})"));
}

TEST(CliText, WatchDiffNamesTheSwitchesAndAddedChangedAndRemovedSessions) {
    const QByteArray before = R"({"version":1,"sessions":[{"id":"a","state":"idle"},{"id":"b","state":"coding"},{"id":"c"}]})";
    const QByteArray after = R"({"version":1,"sessions":[{"id":"d","state":"idle"},{"id":"b","state":"running"},{"id":"c"}]})";
    std::vector<std::string> lines;
    for (const WatchEvent& event : diffStatus(parsed(before), parsed(after)))
        lines.push_back(eventJson(event).toStdString());
    EXPECT_EQ(lines, (std::vector<std::string>{R"({"event":"added","id":"d","state":"idle"})",
                                               R"({"event":"changed","id":"b","state":"running"})",
                                               R"({"event":"removed","id":"a","state":"idle"})"}));
    EXPECT_TRUE(diffStatus(parsed(after), parsed(after)).empty());

    // Either switch alone is one status event.
    struct Switched {
        const char* now;
        const char* json;
        const char* line;
    };
    const Switched cases[] = {
        {R"("approvalMode":"auto","paused":false)", R"({"approvalMode":"auto","event":"status","paused":false})",
         "approval mode auto, not paused"},
        {R"("approvalMode":"manual","paused":true)", R"({"approvalMode":"manual","event":"status","paused":true})",
         "approval mode manual, paused"},
    };
    const auto document = [](const char* switches) {
        return parsed(QByteArray(R"({"version":1,)") + switches + R"(,"sessions":[{"id":"d"}]})");
    };
    for (const Switched& c : cases) {
        const std::vector<WatchEvent> events = diffStatus(document(R"("approvalMode":"manual","paused":false)"), document(c.now));
        ASSERT_EQ(events.size(), 1u) << c.now;
        EXPECT_EQ(eventJson(events[0]).toStdString(), c.json);
        EXPECT_EQ(eventLine(events[0]).toStdString(), c.line);
    }
}

} // namespace
