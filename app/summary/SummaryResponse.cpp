#include "summary/SummaryResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextBoundaryFinder>

namespace nubbo::SummaryResponse {

std::optional<QString> parseAnthropic(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue content = document.object().value(QStringLiteral("content"));
    if (!content.isArray())
        return std::nullopt;
    QString text;
    for (const QJsonValue& item : content.toArray()) {
        if (!item.isObject())
            return std::nullopt;
        const QJsonObject object = item.toObject();
        if (object.value(QStringLiteral("type")) == QStringLiteral("text"))
            text += object.value(QStringLiteral("text")).toString();
    }
    return text;
}

std::optional<QString> parseOpenAI(const QByteArray& body) {
    const QJsonArray choices = QJsonDocument::fromJson(body).object().value(QStringLiteral("choices")).toArray();
    if (choices.isEmpty())
        return std::nullopt;
    const QJsonValue content =
        choices.first().toObject().value(QStringLiteral("message")).toObject().value(QStringLiteral("content"));
    if (!content.isString())
        return std::nullopt;
    return content.toString();
}

QString tidy(const QString& text) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\n', u' ');
    line.replace(u'\r', u' ');
    for (const char16_t mark : {u'"', u'\u201C', u'\u201D', u'\u300C', u'\u300D', u'\u300E', u'\u300F'})
        line.remove(QChar(mark));
    line = line.trimmed();

    // Cut between characters as a reader sees them, never inside a surrogate pair or an accented letter.
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, line);
    int count = 0;
    qsizetype cut = -1;
    while (graphemes.toNextBoundary() != -1) {
        ++count;
        if (count == kMaxCharacters)
            cut = graphemes.position();
        if (count > kMaxCharacters)
            return line.left(cut) + QStringLiteral("…");
    }
    return line;
}

std::optional<QString> summaryFrom(SummaryProvider provider, int httpStatus, const QByteArray& body) {
    if (httpStatus != 200 || body.isEmpty())
        return std::nullopt;
    const auto text = provider == SummaryProvider::anthropic ? parseAnthropic(body) : parseOpenAI(body);
    if (!text)
        return std::nullopt;
    const QString trimmed = text->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QString line = tidy(trimmed);
    // A reply made only of quotation marks says nothing either.
    if (line.isEmpty())
        return std::nullopt;
    return line;
}

} // namespace nubbo::SummaryResponse
