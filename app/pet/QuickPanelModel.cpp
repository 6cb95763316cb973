#include "pet/QuickPanelModel.h"

#include "sessions/AgentSessionStore.h"
#include "model/AgentTitle.h"
#include "common/ProviderSpec.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace nubbo {

namespace {

QString trimmed(const std::optional<QString>& text) { return text ? text->trimmed() : QString(); }

// What the session is doing, in one line: the tool step's own phrase while it works, the outcome once done.
QString statusLine(const AgentSession& session, Language language) {
    if (!session.waiting.empty())
        return bubbleText(PetState::waitingApproval, language);
    switch (session.state) {
    case PetState::coding:
        return session.detail.isEmpty() ? bubbleText(session.pose, language) : session.detail;
    case PetState::success:
    case PetState::warning:
        return session.detail.isEmpty() ? bubbleText(session.state, language) : session.detail;
    default:
        // The compacting detail repeats the agent's title, and a thinking one holds the user's own prompt.
        return bubbleText(session.state, language);
    }
}

QString folderName(const std::optional<QString>& cwd) {
    if (!cwd || cwd->isEmpty())
        return {};
    const QString clean = QDir::cleanPath(*cwd);
    const QString name = QFileInfo(clean).fileName();
    return name.isEmpty() ? clean : name;
}

} // namespace

QuickPanelModel::QuickPanelModel(AgentSessionStore& store, SettingsStore& settings, Clock& clock, Scheduler& scheduler,
                                 AnswerFunction answer, QObject* parent)
    : QAbstractListModel(parent), store_(store), settings_(settings), clock_(clock), scheduler_(scheduler),
      answer_(std::move(answer)) {
    store_.setChangedHandler([this] { refresh(); });
    connect(&settings_, &SettingsStore::effectiveLanguageChanged, this, &QuickPanelModel::refresh);
}

QuickPanelModel::~QuickPanelModel() {
    store_.setChangedHandler(nullptr);
    if (ageRefresh_)
        scheduler_.cancel(*ageRefresh_);
}

int QuickPanelModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

QHash<int, QByteArray> QuickPanelModel::roleNames() const {
    return {{KeyRole, "key"},         {ProviderRole, "provider"}, {TitleRole, "title"},     {AgentSymbolRole, "agentSymbol"}, {StateRole, "sessionState"},
            {SymbolRole, "symbol"},   {StatusRole, "status"},     {WordsRole, "words"},     {FolderRole, "folder"},
            {AgoRole, "ago"},         {WaitingRole, "waiting"},   {CommandRole, "command"}, {RiskyRole, "risky"},
            {RequestsRole, "requests"}};
}

QVariant QuickPanelModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= count())
        return {};
    const Row& row = rows_[std::size_t(index.row())];
    switch (role) {
    case KeyRole: return row.key;
    case ProviderRole: return row.provider;
    case TitleRole:
    case Qt::DisplayRole: return row.title;
    case AgentSymbolRole: return row.agentSymbol;
    case StateRole: return rawValue(row.state);
    case SymbolRole: return row.symbol;
    case StatusRole: return row.status;
    case WordsRole: return row.words;
    case FolderRole: return row.folder;
    case AgoRole: return shownAges_[std::size_t(index.row())];
    case WaitingRole: return !row.requests.empty();
    case CommandRole: return row.requests.empty() ? QString() : row.requests.front().command;
    case RiskyRole: return !row.requests.empty() && row.requests.front().risky;
    case RequestsRole: {
        QVariantList requests;
        for (const Row::Request& request : row.requests)
            requests.append(QVariantMap{{QStringLiteral("eventId"), request.eventId.toString(QUuid::WithoutBraces)},
                                        {QStringLiteral("command"), request.command},
                                        {QStringLiteral("risky"), request.risky}});
        return requests;
    }
    default: return {};
    }
}

void QuickPanelModel::setActive(bool active) {
    if (active == active_)
        return;
    active_ = active;
    if (active_) {
        refresh();
        rearm();
        scheduleAgeRefresh();
    } else {
        arming_.clear();
        if (ageRefresh_) {
            scheduler_.cancel(*ageRefresh_);
            ageRefresh_.reset();
        }
    }
    Q_EMIT activeChanged();
}

QuickPanelModel::Row QuickPanelModel::makeRow(const QString& key, const AgentSession& session,
                                              Language language) const {
    Row row;
    row.key = key;
    row.provider = session.provider.rawValue();
    row.title = agentTitle(session.provider, session.host, language);
    row.agentSymbol = agentSymbolFor(row.provider);
    row.state = session.shownState();
    row.symbol = symbolFor(session.shownState(), session.shownPose());
    row.status = statusLine(session, language);
    row.words = trimmed(session.summary);
    if (row.words.isEmpty())
        row.words = trimmed(session.say);
    // An agent that asks for input says what it asks in its message.
    if (row.words.isEmpty() && session.shownState() == PetState::waitingInput)
        row.words = session.detail.trimmed();
    row.folder = folderName(session.cwd);
    row.lastUpdate = session.lastUpdate;
    for (const WaitingRequest& request : session.waiting)
        row.requests.push_back({request.eventId, request.command, request.risk == ApprovalRisk::risky});
    return row;
}

void QuickPanelModel::refresh() {
    if (!active_)
        return;
    const Language language = settings_.effectiveLanguage();
    std::vector<Row> next;
    for (const auto& [key, session] : store_.sessions())
        next.push_back(makeRow(key, session, language));
    bool moved = false;

    // Both lists are ordered by key: one merge walk finds the removed, added and changed rows.
    const int before = count();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < rows_.size() || j < next.size()) {
        if (j >= next.size() || (i < rows_.size() && rows_[i].key < next[j].key)) {
            moved = true;
            beginRemoveRows({}, int(i), int(i));
            rows_.erase(rows_.begin() + std::ptrdiff_t(i));
            shownAges_.erase(shownAges_.begin() + std::ptrdiff_t(i));
            endRemoveRows();
        } else if (i >= rows_.size() || next[j].key < rows_[i].key) {
            moved = true;
            beginInsertRows({}, int(i), int(i));
            shownAges_.insert(shownAges_.begin() + std::ptrdiff_t(i), agoText(next[j]));
            rows_.insert(rows_.begin() + std::ptrdiff_t(i), std::move(next[j]));
            endInsertRows();
            ++i, ++j;
        } else {
            const QString age = agoText(next[j]);
            // Only the roles that changed: a row's request buttons are not rebuilt under the pointer when
            // only its words or age moved on.
            QList<int> roles = changedRoles(rows_[i], next[j]);
            if (shownAges_[i] != age && !roles.contains(AgoRole))
                roles.append(AgoRole);
            if (!roles.isEmpty()) {
                moved = moved || roles.contains(RequestsRole);
                rows_[i] = std::move(next[j]);
                shownAges_[i] = age;
                Q_EMIT dataChanged(index(int(i)), index(int(i)), roles);
            }
            ++i, ++j;
        }
    }
    if (count() != before)
        Q_EMIT countChanged();
    if (moved)
        rearm();
}

void QuickPanelModel::rearm() {
    // A row that came, went or grew moves the buttons below it: every button waits again, so a press aimed
    // at one never lands on another that slid under the pointer.
    arming_.clear();
    const double now = clock_.now();
    for (const Row& row : rows_)
        for (const Row::Request& request : row.requests)
            arming_.shown(request.eventId, now);
    ++armGeneration_;
    Q_EMIT armGenerationChanged();
}

QList<int> QuickPanelModel::changedRoles(const Row& before, const Row& after) {
    QList<int> roles;
    const auto check = [&](bool same, std::initializer_list<int> changed) {
        if (!same)
            roles.append(changed);
    };
    check(before.provider == after.provider, {ProviderRole, AgentSymbolRole});
    check(before.title == after.title, {TitleRole, Qt::DisplayRole});
    check(before.state == after.state, {StateRole});
    check(before.symbol == after.symbol, {SymbolRole});
    check(before.status == after.status, {StatusRole});
    check(before.words == after.words, {WordsRole});
    check(before.folder == after.folder, {FolderRole});
    check(before.lastUpdate == after.lastUpdate, {AgoRole});
    check(before.requests == after.requests, {WaitingRole, CommandRole, RiskyRole, RequestsRole});
    return roles;
}

QString QuickPanelModel::agoText(const Row& row) const {
    return relativeTime(clock_.now() - row.lastUpdate, settings_.effectiveLanguage());
}

void QuickPanelModel::scheduleAgeRefresh() {
    ageRefresh_ = scheduler_.schedule(kAgeRefreshSeconds, [this] {
        ageRefresh_.reset();
        if (!active_)
            return;
        refreshAges();
        scheduleAgeRefresh();
    });
}

void QuickPanelModel::refreshAges() {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const QString age = agoText(rows_[i]);
        if (age == shownAges_[i])
            continue;
        shownAges_[i] = age;
        Q_EMIT dataChanged(index(int(i)), index(int(i)), {AgoRole});
    }
}

bool QuickPanelModel::answer(const QString& eventId, const QString& answer) {
    const auto parsed = approvalAnswerFromRaw(answer);
    return parsed && this->answer(QUuid::fromString(eventId), *parsed);
}

bool QuickPanelModel::answer(const QUuid& eventId, ApprovalAnswer answer) {
    // Read from the store, not the rows: a request that ended since the last refresh is not answered.
    if (!active_ || !answer_ || !store_.waitingRequest(eventId) || !arming_.armed(eventId, clock_.now()))
        return false;
    return answer_(eventId, answer);
}

void QuickPanelModel::goToSession(const QString& key) {
    // A click on a hidden panel's row cannot be the user's.
    if (active_ && goToSession_)
        goToSession_(key);
}

QString QuickPanelModel::relativeTime(double seconds, Language language) {
    const bool zh = language == Language::zh;
    const double age = std::max(0.0, seconds);
    if (age < 5)
        return zh ? QStringLiteral("刚刚") : QStringLiteral("just now");
    if (age < 60) {
        const int n = int(std::floor(age));
        return zh ? QStringLiteral("%1 秒前").arg(n) : QStringLiteral("%1 s ago").arg(n);
    }
    if (age < 3600) {
        const int n = int(std::floor(age / 60));
        return zh ? QStringLiteral("%1 分钟前").arg(n) : QStringLiteral("%1 min ago").arg(n);
    }
    const int n = int(std::floor(age / 3600));
    return zh ? QStringLiteral("%1 小时前").arg(n) : QStringLiteral("%1 h ago").arg(n);
}

QString QuickPanelModel::agentSymbolFor(const QString& provider) {
    const ProviderSpec* spec = AgentProvider(provider).spec();
    return spec && !spec->iconName.empty() ? QString::fromStdString(spec->iconName) : QStringLiteral("terminal");
}

QString QuickPanelModel::symbolFor(PetState state, PetState pose) {
    switch (state) {
    case PetState::coding: return activityIcon(pose).value_or(QStringLiteral("pencil"));
    case PetState::thinking: return QStringLiteral("lightbulb");
    case PetState::responding: return QStringLiteral("ellipsis.bubble");
    case PetState::compactingContext: return QStringLiteral("archivebox");
    case PetState::waitingApproval: return QStringLiteral("hand.raised.fill");
    case PetState::waitingInput: return QStringLiteral("questionmark.circle.fill");
    case PetState::success: return QStringLiteral("checkmark.circle");
    case PetState::warning: return QStringLiteral("exclamationmark.triangle.fill");
    default: return QStringLiteral("pawprint.fill");
    }
}

} // namespace nubbo
