#include "model/AgentTitle.h"

namespace nubbo {

QString agentTitle(const AgentProvider& provider, const std::optional<QString>& host, Language language) {
    const QString title = provider.displayTitle();
    if (!host || host->isEmpty())
        return title;
    return language == Language::zh ? QStringLiteral("%1 上的 %2").arg(*host, title)
                                    : QStringLiteral("%1 on %2").arg(title, *host);
}

} // namespace nubbo
