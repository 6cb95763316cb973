// The HTTP request that asks a provider for one line about a narration: the Anthropic messages format for
// anthropic, the OpenAI-compatible chat-completions format for every other provider.
#pragma once

#include "summary/SummaryConfig.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>

#include <optional>

namespace nubbo {

struct SummaryRequest {
    static constexpr int kTimeoutMs = 12000;
    static constexpr int kMaxTokens = 64;

    QNetworkRequest request;
    QByteArray body;

    // Nothing when the endpoint and the path do not make an https address, or an http one on this machine.
    static std::optional<SummaryRequest> build(const SummaryConfig& config, const QString& say,
                                               const std::optional<QString>& detail);
    // The narration, with the tool in use on a line of its own when there is one.
    static QString userText(const QString& say, const std::optional<QString>& detail, bool chinese);
    static QString systemPrompt(bool chinese);
};

} // namespace nubbo
