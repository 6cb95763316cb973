// The quick panel's rows: every live agent session of the session store, with what it is doing, its latest
// words and how long ago it last changed, and the request it waits on. Rows keep the store's order (by
// session key), so a row never jumps under the pointer while the user reads or answers it.
#pragma once

#include "approvals/AnswerArming.h"
#include "approvals/ApprovalAnswer.h"
#include "platform/Clock.h"
#include "model/PetState.h"
#include "core/SettingsEnums.h"

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
    // Counts up whenever the rows' buttons must wait again before they answer (see answer()): the views dim
    // them for that moment.
    Q_PROPERTY(int armGeneration READ armGeneration NOTIFY armGenerationChanged)

public:
    // The same path the card's buttons take (the app wires it to the view model); whether the request still
    // waited.
    using AnswerFunction = std::function<bool(const QUuid& eventId, ApprovalAnswer answer)>;
    // Goes to a session's terminal by the store's key (the app wires it to the pet's view model, whose
    // bubble says when that does not work).
    using GoToSession = std::function<void(const QString& key)>;

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
        CommandRole,       // what the oldest waiting request wants to run
        RiskyRole,         // the trust rules call that command dangerous
        RequestsRole,      // every waiting request, oldest first: {"eventId", "command", "risky"}
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
    int armGeneration() const { return armGeneration_; }
    void setActive(bool active);

    // A row's buttons: answers the request they were drawn for ("deny", "allow" or "allowAll"), only while
    // it waits and once the rows have stood still on the shown panel for AnswerArming::kSeconds (a row that
    // comes, goes or gains a request moves the others); false (and nothing sent) otherwise, so a second
    // press, a press on a request that just ended or a button that just arrived under the pointer answers
    // nothing.
    Q_INVOKABLE bool answer(const QString& eventId, const QString& answer);
    bool answer(const QUuid& eventId, ApprovalAnswer answer);

    void setGoToSessionHandler(GoToSession handler) { goToSession_ = std::move(handler); }
    // A click on a row (not on its buttons) of the shown panel: goes to that row's session.
    Q_INVOKABLE void goToSession(const QString& key);

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
    void armGenerationChanged();

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
        struct Request {
            QUuid eventId;
            QString command;
            bool risky = false;
            bool operator==(const Request&) const = default;
        };
        std::vector<Request> requests;
        bool operator==(const Row&) const = default;
    };

    Row makeRow(const QString& key, const AgentSession& session, Language language) const;
    static QList<int> changedRoles(const Row& before, const Row& after);
    void rearm();
    QString agoText(const Row& row) const;
    void scheduleAgeRefresh();
    void refreshAges();

    AgentSessionStore& store_;
    SettingsStore& settings_;
    Clock& clock_;
    Scheduler& scheduler_;
    AnswerFunction answer_;
    GoToSession goToSession_;
    std::vector<Row> rows_;
    std::vector<QString> shownAges_;
    bool active_ = false;
    std::optional<TaskId> ageRefresh_;
    AnswerArming arming_;
    int armGeneration_ = 0;
};

} // namespace nubbo
