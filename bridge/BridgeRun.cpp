#include "bridge/BridgeRun.h"

#include "bridge/AgentLocation.h"
#include "bridge/Arguments.h"
#include "bridge/DecisionOutput.h"
#include "bridge/EventRecord.h"
#include "bridge/Narration.h"
#include "bridge/NarrationText.h"
#include "bridge/PayloadFields.h"
#include "common/ProviderRegistry.h"
#include "bridge/SocketClient.h"
#include "common/Utf8Text.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace nubbo::bridge {
namespace {

std::string readAll(int fd) {
    std::string data;
    char buffer[65536];
    for (;;) {
        const auto n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

void writeFully(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// The closing words a Stop payload carries are the agent's own and current, while its transcript may not
// hold them yet when the hook runs (agents write it behind). Automation turns are no prose.
std::optional<std::string> closingWords(const PayloadFields& fields) {
    if (!fields.lastAssistantMessage || !looksLikeProse(*fields.lastAssistantMessage)) return std::nullopt;
    return excerpt(text::trimWhitespaceAndNewlines(*fields.lastAssistantMessage));
}

std::optional<std::string> narrationFor(ProviderFamily family, const PayloadFields& fields, const std::string& home) {
    switch (family) {
    case ProviderFamily::claude:
        if (auto words = closingWords(fields)) return words;
        if (!fields.transcriptPath) return std::nullopt;
        return latestAssistantText(*fields.transcriptPath);
    case ProviderFamily::codex:
        if (auto words = closingWords(fields)) return words;
        return latestCodexNarration(home, {fields.sessionId, fields.transcriptPath});
    case ProviderFamily::gemini: return latestGeminiNarration(home, {fields.sessionId, fields.transcriptPath});
    case ProviderFamily::kimi: {
        // The hook runs in Kimi's environment, so it sees the same data folder Kimi uses.
        const char* kimiHome = std::getenv("KIMI_CODE_HOME");
        return latestKimiNarration(kimiHome && *kimiHome ? kimiHome : home + "/.kimi-code", fields.sessionId);
    }
    default: return std::nullopt;
    }
}

int run(int argc, char** argv, const BridgeIO& io) {
    const auto args = argumentStrings(argc, argv);
    const std::string source = text::lowercased(argValue(args, "--source").value_or("claude"));
    const std::string event = argValue(args, "--event").value_or("");
    // Always drain stdin, even when the app turns out to be absent: an agent writing its payload
    // into a closed pipe may take the broken pipe as a hook failure.
    const std::string stdinData = readAll(io.stdinFd);

    if (io.socketPath.empty()) return 0;
    const std::string& sockPath = io.socketPath;
    // Without the socket file there is no app to talk to; skip the transcript read as well.
    struct stat socketStat {};
    if (stat(sockPath.c_str(), &socketStat) != 0 || !S_ISSOCK(socketStat.st_mode)) return 0;

    const auto payload = parsePayload(stdinData);
    const ProviderSpec* spec = ProviderRegistry::spec(source);
    const ProviderFamily family = spec ? spec->family : ProviderFamily::claude;
    const auto fields = extractFields(payload);
    const bool isDecision = isDecisionEvent(family, event);
    std::string_view type = isDecision ? "approvalRequired" : ProviderRegistry::unifiedType(event);
    // Gemini fires PreCompress before every model request, also when it then finds the history short enough
    // to leave alone, and it reports neither outcome; only a compression the user asked for (/compress) is
    // sure to happen. The automatic check is the model turn starting.
    if (family == ProviderFamily::gemini && type == "contextCompacting" && fields.trigger.value_or("") != "manual")
        type = "thinking";
    // Kimi's PermissionRequest says its own prompt is up in the terminal; nothing the hook prints is read.
    if (family == ProviderFamily::kimi && event == "PermissionRequest") type = "inputRequired";
    // A notification that only reports (signed in, still idle) would park the pet at "waiting for your
    // input" with nothing to answer; the app has no other type for it, so it hears nothing.
    if (type == "inputRequired" && !ProviderRegistry::notificationAsksUser(fields.notificationType.value_or("")))
        return 0;
    std::optional<std::string> say;
    if (isNarrationEvent(event)) say = narrationFor(family, fields, io.home);

    auto record = buildEventRecord(source, event, type, fields, std::move(say));
    record.location = locateAgent("/proc", getppid(), environ);
    if (utsname names{}; ::uname(&names) == 0) record.host = names.nodename;
    const std::string line = record.toJson() + "\n";

    const int fd = connectSocket(sockPath);
    if (fd < 0) return 0;
    writeAll(fd, line);
    if (!isDecision) return 0;

    // The agent's own hook time-out bounds this wait; the app may take as long as the user does.
    const auto reply = readLine(fd);
    if (auto decision = decisionForReply(family, event, reply)) writeFully(io.stdoutFd, *decision + "\n");
    return 0;
}

} // namespace

int runBridge(int argc, char** argv, const BridgeIO& io) {
    try {
        return run(argc, argv, io);
    } catch (...) {
        return 0;  // fail open: the agent falls back to its own behaviour
    }
}

} // namespace nubbo::bridge
