#include "summary/SummaryRequest.h"

#include "summary/SummaryEndpoint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace nubbo {
namespace {

QJsonObject message(const QString& role, const QString& content) {
    return QJsonObject{{QStringLiteral("role"), role}, {QStringLiteral("content"), content}};
}

} // namespace

QString SummaryRequest::systemPrompt(bool chinese) {
    if (chinese)
        return QStringLiteral("你在帮用户盯着一个 AI 编码助手。用一句简短中文(不超过20字)概括它现在在做什么。"
                              "只输出这一句话,不要解释,不要加引号。");
    return QStringLiteral("You are watching an AI coding assistant for the user. Summarize what it is doing right "
                          "now in one short English line (under ~12 words). Output only that line — no "
                          "explanation, no quotes.");
}

QString SummaryRequest::userText(const QString& say, const std::optional<QString>& detail, bool chinese) {
    if (!detail || detail->isEmpty())
        return say;
    return say + (chinese ? QStringLiteral("\n(工具:") : QStringLiteral("\n(tool: ")) + *detail + u')';
}

std::optional<SummaryRequest> SummaryRequest::build(const SummaryConfig& config, const QString& say,
                                                    const std::optional<QString>& detail) {
    const bool anthropic = config.provider == SummaryProvider::anthropic;
    const QUrl url(config.baseURL + (anthropic ? QStringLiteral("/v1/messages") : QStringLiteral("/chat/completions")),
                   QUrl::StrictMode);
    if (SummaryEndpoint::problem(url) != EndpointProblem::none)
        return std::nullopt;

    SummaryRequest built;
    built.request.setUrl(url);
    // An idle connection gives up after this long, as a request that hears nothing should.
    built.request.setTransferTimeout(kTimeoutMs);
    // The key and the narration go where the user sent them and nowhere a reply points elsewhere.
    built.request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    built.request.setRawHeader("content-type", "application/json");

    const QString prompt = systemPrompt(config.chinese);
    const QString user = userText(say, detail, config.chinese);
    QJsonObject body{{QStringLiteral("model"), config.model}, {QStringLiteral("max_tokens"), kMaxTokens}};
    if (anthropic) {
        built.request.setRawHeader("x-api-key", config.apiKey.toUtf8());
        built.request.setRawHeader("anthropic-version", "2023-06-01");
        body.insert(QStringLiteral("system"), prompt);
        body.insert(QStringLiteral("messages"), QJsonArray{message(QStringLiteral("user"), user)});
    } else {
        built.request.setRawHeader("Authorization", "Bearer " + config.apiKey.toUtf8());
        body.insert(QStringLiteral("messages"), QJsonArray{message(QStringLiteral("system"), prompt),
                                                           message(QStringLiteral("user"), user)});
    }
    built.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return built;
}

} // namespace nubbo
