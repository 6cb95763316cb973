// The quick panel's rows: every live agent session of the session store, with what it is doing, its latest
// words and how long ago it last changed, and the request it waits on. Rows keep the store's order (by
// session key), so a row never jumps under the pointer while the user reads or answers it.
#pragma once

#include "Clock.h"
#include "PetState.h"
#include "SettingsEnums.h"

#include <QAbstractListModel>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>
#include <vector>

namespace nubbo {

class AgentSessionStore;
struct AgentSession;
class SettingsStore;

// Main thread only. The clock gives the ages; the scheduler refreshes them once a second while the panel
// is shown. Both, and the store, must outlive the model.
class QuickPanelModel : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Only a shown panel follows the store: a hidden one costs nothing on the event path.
    Q_PROPERTY(bool active READ active WRITE setActive NOTIFY activeChanged)

public:
    enum class Verdict { deny, allow, allowAll };
    // The same path the card's buttons take (the app wires it to the view model).
    using AnswerFunction = std::function<void(const QUuid& eventId, Verdict verdict)>;

    enum Role {
        KeyRole = Qt::UserRole + 1,
        ProviderRole,      // raw provider id
        TitleRole,         // the agent's display title
        AgentSymbolRole,   // the agent's own symbol
        StateRole,         // the session's state, raw value
        SymbolRole,        // symbol name for what it does
        StatusRole,        // what it is doing, one line
        WordsRole,         // its latest words (summary, else narration), "" for none
        FolderRole,        // last component of its working folder, "" for none
        AgoRole,           // "just now", "12 s ago", "3 min ago" (or Chinese)
        WaitingRole,       // a permission request waits for the user
        CommandRole,       // what the request wants to run
        RiskyRole,         // the trust rules call that command dangerous
    };

    static constexpr double kAgeRefreshSeconds = 1.0;

    // Installs itself as the store's change handler (and removes itself when destroyed).
    QuickPanelModel(AgentSessionStore& store, SettingsStore& settings, Clock& clock, Scheduler& scheduler,
                    AnswerFunction answer, QObject* parent = nullptr);
    ~QuickPanelModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(rows_.size()); }
    bool active() const { return active_; }
    void setActive(bool active);

    // Answers the request the session waits on; false (and nothing sent) when it waits on none, so a
    // second press, or a press on a row whose request just ended, answers nothing.
    bool answer(const QString& key, Verdict verdict);
    Q_INVOKABLE bool deny(const QString& key) { return answer(key, Verdict::deny); }
    Q_INVOKABLE bool allow(const QString& key) { return answer(key, Verdict::allow); }
    Q_INVOKABLE bool allowAll(const QString& key) { return answer(key, Verdict::allowAll); }

    // Reads the store again and reports the changed rows.
    void refresh();

    // "just now" under 5 s, then whole seconds, minutes, hours.
    static QString relativeTime(double seconds, Language language);
    // The agent's symbol from the catalogue; the terminal for an agent the catalogue does not know.
    static QString agentSymbolFor(const QString& provider);
    // The symbol a session in this state and pose shows.
    static QString symbolFor(PetState state, PetState pose);

Q_SIGNALS:
    void countChanged();
    void activeChanged();

private:
    struct Row {
        QString key;
        QString provider;
        QString title;
        QString agentSymbol;
        PetState state = PetState::thinking;
        QString symbol;
        QString status;
        QString words;
        QString folder;
        double lastUpdate = 0;
        std::optional<QUuid> eventId;
        QString command;
        bool risky = false;
        bool operator==(const Row&) const = default;
    };

    Row makeRow(const QString& key, const AgentSession& session, Language language) const;
    QString agoText(const Row& row) const;
    void scheduleAgeRefresh();
    void refreshAges();

    AgentSessionStore& store_;
    SettingsStore& settings_;
    Clock& clock_;
    Scheduler& scheduler_;
    AnswerFunction answer_;
    std::vector<Row> rows_;
    std::vector<QString> shownAges_;
    bool active_ = false;
    std::optional<TaskId> ageRefresh_;
};

} // namespace nubbo
