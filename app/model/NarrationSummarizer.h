// Where the session store sends an agent's narration to be cut down to one line. The answer, if any, comes
// back later through AgentSessionStore::setSummary on the main thread.
#pragma once

#include <QString>

#include <optional>

namespace nubbo {

class NarrationSummarizer {
public:
    virtual ~NarrationSummarizer() = default;
    // detail: the tool phrase shown with the narration, when there is one.
    virtual void summarize(const QString& sessionKey, const QString& say, const std::optional<QString>& detail) = 0;
};

// No summaries: the bubble shows the agent's own words.
class NullSummarizer final : public NarrationSummarizer {
public:
    void summarize(const QString&, const QString&, const std::optional<QString>&) override {}
};

} // namespace nubbo
