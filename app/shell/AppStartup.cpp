#include "shell/AppStartup.h"

#include "hooks/AgentDetector.h"
#include "hooks/AgentStatuses.h"
#include "intake/AgentEventBus.h"
#include "summary/AgentSummarizer.h"
#include "sessions/AgentSessionStore.h"
#include "shell/AppBusInterface.h"
#include "shell/AppIcon.h"
#include "focus/DesktopTerminalFocus.h"
#include "sessions/SessionNavigator.h"
#include "platform/Clock.h"
#include "hooks/CodexHookReview.h"
#include "platform/FreedesktopNotifier.h"
#include "shell/HookCommandLine.h"
#include "remote/RemoteCommandLine.h"
#include "remote/RemoteInstaller.h"
#include "shell/LegacyLayoutMove.h"
#include "hooks/HookGuardian.h"
#include "hooks/ConfigFolderMover.h"
#include "hooks/HookInstaller.h"
#include "hooks/InitialAgentDetection.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/KeychainStore.h"
#include "platform/LoginItem.h"
#include "model/NarrationSummarizer.h"
#include "core/NubboLog.h"
#include "sessions/NubboNotifications.h"
#include "pet/PetInteraction.h"
#include "pet/PetMenuController.h"
#include "pet/PetViewModel.h"
#include "pet/PetWindow.h"
#include "pet/PetWindowController.h"
#include "pet/QuickPanel.h"
#include "pet/QuickPanelModel.h"
#include "common/ProviderRegistry.h"
#include "settings/SettingsStore.h"
#include "petart/CustomPetManager.h"
#include "shell/models/OnboardingModel.h"
#include "petart/PetArtInstaller.h"
#include "petart/PetPackManager.h"
#include "shell/OnboardingWindowController.h"
#include "shell/SettingsWindowController.h"
#include "shell/models/SettingsWindowModel.h"
#include "platform/SingleInstance.h"
#include "shell/StatusItem.h"
#include "core/AppPaths.h"
#include "pet/qml/PetQml.h"
#include "pet/qml/SymbolTable.h"
#include "remote/HostIntake.h"
#include "remote/RemoteForwards.h"
#include "remote/RemoteHostList.h"
#include "remote/SshRunner.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QIcon>
#include <QQmlEngine>
#include <QPixmap>
#include <QLocale>
#include <QStyleHints>
#include <QThreadPool>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace nubbo {

AppStartup::AppStartup() = default;

AppStartup::~AppStartup() {
    // Stop intake and detection first: their threads call into everything below (the hosts' listeners into
    // the bus). The summariser's thread goes next, before the store its lines go to.
    remoteForwards_.reset();
    bus_.reset();
    detector_.reset();
    summarizer_.reset();
    folderMover_.reset();
    guardian_.reset();
    // A terminal being gone to finishes (it is bounded) before what it uses goes.
    navigator_.reset();
    QThreadPool::globalInstance()->waitForDone(2 * DesktopTerminalFocus::kBudgetMs);
    terminalFocus_.reset();
    // The windows before the engine that built them.
    onboarding_.reset();
    settingsWindow_.reset();
    quickPanel_.reset();
    quickPanelModel_.reset();
    sessions_.reset();
    installer_.reset();
    statusItem_.reset();
    petWindowController_.reset();
    petWindow_.reset();
    interaction_.reset();
    menu_.reset();
    viewModel_.reset();
}

// An earlier release kept everything in one folder: its files move to their places once, before the settings
// (which may name them) are read and before the first log line.
static void moveEarlierLayout() {
    LegacyLayoutMove::run({AppPaths::legacySupportDirectory(), AppPaths::dataDirectory(), AppPaths::logsDirectory(),
                           JsonPreferencesDomain::defaultFilePath()},
                          [](const QString& line) { NubboLog::log(line); });
}

void AppStartup::buildSettings() {
    if (settings_) return;
    const auto log = [](const QString& line) { NubboLog::log(line); };
    preferences_ = std::make_unique<JsonPreferencesDomain>(JsonPreferencesDomain::defaultFilePath(), log);
    loginItem_ = std::make_unique<XdgLoginItem>(log);
    settings_ = std::make_unique<SettingsStore>(*preferences_, KeychainStore::shared(), *loginItem_,
                                                [] { return QLocale::system().uiLanguages(); });
    SettingsStore::setShared(settings_.get());
    // The enable switches decide which agents get hooks.
    installer_ = std::make_unique<HookInstaller>();
}

std::optional<int> AppStartup::handleCommandLine(const QStringList& arguments) {
    if (isRemoteCommand(arguments)) {
        moveEarlierLayout();
        buildSettings();
        const auto print = [](FILE* stream) {
            return [stream](const QString& line) {
                const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
                std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
                std::fflush(stream);
            };
        };
        RemoteInstallerEnvironment environment;
        environment.progress = print(stdout);
        // From a terminal ssh may ask for a host key or a passphrase; from a script it must not wait.
        return runRemoteCommand(arguments.mid(2), RemoteInstaller(environment),
                                {print(stdout), print(stderr), ::isatty(STDIN_FILENO) == 1,
                                 [] { return RemoteHostStates::fromRunningApp(); }});
    }
    const auto command = hookCommandFrom(arguments);
    if (!command) return std::nullopt;
    moveEarlierLayout();
    buildSettings();
    const QByteArray line = (runHookCommand(*command, *installer_) + QLatin1Char('\n')).toUtf8();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
    return 0;  // failures are reported in the line
}

bool AppStartup::run() {
    const auto log = [](const QString& line) { NubboLog::log(line); };
    // Before anything else: a second start must not build a window, take over the socket or touch the hooks.
    instance_ = std::make_unique<SingleInstance>(AppPaths::runtimeDirectory(), QLatin1String(kAppId), log);
    if (!instance_->first()) {
        instance_->activateRunning(QDBusConnection::sessionBus());
        return false;
    }
    // A producer that hangs up must never take the app down with it.
    std::signal(SIGPIPE, SIG_IGN);
    moveEarlierLayout();
    NubboLog::log(QStringLiteral("nubbo starting"));
    // Calls wait for the event loop, by when the windows below exist.
    busInterface_ = new AppBusInterface(instance_.get(), QDBusConnection::sessionBus(),
                        [this](const QString& sessionId, std::function<void(FocusOutcome)> done) {
                            if (!navigator_)
                                return done(FocusOutcome::unknownSession);
                            // A failure asked from a terminal or a script shows on the pet too.
                            navigator_->goToSessionId(sessionId, [this, sessionId, done = std::move(done)](FocusOutcome outcome) {
                                if (const auto key = navigator_->keyOf(sessionId); key && viewModel_)
                                    viewModel_->showFocusOutcome(outcome, *key);
                                done(outcome);
                            });
                        });
    instance_->serve(QDBusConnection::sessionBus(), [this] { showSettingsForSecondStart(); });
    // The app lives in the tray and the pet panel: closing any window never quits it.
    NubboLog::log(QStringLiteral("applicationDidFinishLaunching policy will be set to accessory"));
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        gui->setQuitOnLastWindowClosed(false);
        QGuiApplication::setDesktopFileName(QLatin1String(kAppId));
        QGuiApplication::setWindowIcon(applicationIcon(AppPaths::bundleResourcesDirectory()));
    }

    clock_ = std::make_unique<SystemClock>();
    scheduler_ = std::make_unique<QtScheduler>();
    random_ = std::make_unique<SystemRandom>();
    buildSettings();
    agentStatuses_ = std::make_unique<AgentStatuses>();

    // The card's answers reach the waiting agent first, then the session that asked.
    // A request whose producer has gone meanwhile gets no verdict: its card goes as withdrawn.
    viewModel_ = std::make_unique<PetViewModel>(*settings_, *scheduler_, *clock_, *random_, log,
                                                [this](const QUuid& eventId, bool allow) {
                                                    if (!AgentEventBus::shared().resolveApproval(eventId, allow)) {
                                                        AgentSessionStore::shared().withdrawApproval(eventId);
                                                        return false;
                                                    }
                                                    // The bus tells the request's end with the verdict.
                                                    busInterface_->answering(eventId, allow);
                                                    AgentSessionStore::shared().resolveApproval(eventId, allow);
                                                    return true;
                                                });
    PetViewModel::setShared(viewModel_.get());
    createPetWindow();
    createShellWindows();
    wireMenus();

    notifier_ = std::make_unique<FreedesktopNotifier>(log);
    notifications_ = std::make_unique<NubboNotifications>(*settings_, *notifier_, *clock_);
    NubboNotifications::setShared(notifications_.get());

    // Keys come from the keychain on the summariser's own thread; lines go to the store on this one.
    summarizer_ = std::make_unique<AgentSummarizer>(
        *settings_, KeychainStore::shared(), *clock_,
        [this](const QString& sessionKey, const QString& text, const QString& forSay) {
            if (sessions_) sessions_->setSummary(sessionKey, text, forSay);
        });
    sessions_ = std::make_unique<AgentSessionStore>(
        *settings_, *viewModel_, *clock_, *random_,
        [notifications = notifications_.get()](AgentEventType type, const AgentEvent& event) {
            notifications->notify(type, event);
        },
        *summarizer_);
    AgentSessionStore::setShared(sessions_.get());
    // A request that ended without an answer (its session went on or ended) lets its producer go, so no
    // agent waits on a card that is no longer there; an answered or withdrawn one has no producer left.
    sessions_->setApprovalEndedHandler([this](const QUuid& eventId) {
        notifications_->approvalEnded(eventId);
        busInterface_->requestEnded(eventId);
        if (bus_)
            bus_->releaseApproval(eventId);
    });
    sessions_->setOutsideChangedHandler([this] { busInterface_->sessionsChanged(); });
    // A press on the notification's Allow or Deny answers like the card (the notifications drop the
    // buttons once the request has ended, so it answers only a waiting request, once).
    notifications_->setApprovalAnswerHandler([viewModel = viewModel_.get()](const QUuid& eventId, bool allow) {
        viewModel->answerApproval(eventId, allow ? ApprovalAnswer::allow : ApprovalAnswer::deny,
                                  "from a notification or the panel");
    });

    createQuickPanel();
    // Status bars and scripts: they answer requests the card's way, named by id.
    busInterface_->attach({*sessions_, *settings_, *clock_, *scheduler_,
                           [viewModel = viewModel_.get()](const QUuid& eventId, bool allow) {
                               return viewModel->answerApproval(
                                   eventId, allow ? ApprovalAnswer::allow : ApprovalAnswer::deny, "over the bus");
                           },
                           [this] { settingsWindow_->show(); },
                           [this] { return remoteForwards_ ? remoteForwards_->hostMaps() : QList<QVariantMap>{}; }});

    terminalFocus_ = DesktopTerminalFocus::forThisDesktop();
    navigator_ = std::make_unique<SessionNavigator>(*sessions_, *terminalFocus_, SessionNavigator::threadPoolRunner(),
                                                    log);
    // Going to a session from the bubble, the card, a quick-panel row and a notification's body: all through
    // the pet, whose bubble says in one line why it could not.
    viewModel_->setGoToSessionHandler([this](const QString& key, std::function<void(FocusOutcome)> done) {
        navigator_->goToKey(key, std::move(done));
    });
    const auto goToSession = [viewModel = viewModel_.get()](const QString& key) { viewModel->goToSession(key); };
    notifications_->setGoToSessionHandler(goToSession);
    quickPanelModel_->setGoToSessionHandler(goToSession);
    notifications_->setLookingAtCheck(NubboNotifications::lookingAtOffThread(*terminalFocus_));

    installer_->ensureHealthy();
    // Switching an agent on asks for it to be wired, also after the user removed the bridge.
    QObject::connect(settings_.get(), &SettingsStore::enabledEntryChanged, settings_.get(),
                     [installer = installer_.get()](const QString& id, bool on) {
                         if (on)
                             installer->agentSwitchedOn(id);
                     });
    // Codex runs none of the app's hooks until the user trusts them in Codex: say so once, with the way out.
    if (const ProviderSpec* codex = ProviderRegistry::spec("codex"); codex && settings_->enabled(QStringLiteral("codex")))
        NubboLog::log(CodexHookReview::check(installer_->configPath(*codex)).advice());
    guardian_ = std::make_unique<HookGuardian>(*installer_);
    guardian_->start();
    // A new config folder for an agent: its hooks move there, and the guardian watches the file there.
    folderMover_ = std::make_unique<ConfigFolderMover>(*settings_, *installer_, *agentStatuses_);
    QObject::connect(settings_.get(), &SettingsStore::configFolderChanged, settings_.get(),
                     [guardian = guardian_.get()] { guardian->rewatch(); });

    detector_ = std::make_unique<AgentDetector>(*settings_, *agentStatuses_);
    bus_ = std::make_unique<AgentEventBus>(*settings_, *sessions_);
    AgentEventBus::setShared(bus_.get());
    sessions_->start();
    detector_->start(std::chrono::seconds(3));
    bus_->start();
    startRemoteForwards();

    notifications_->requestAuthorization();
    // The last steps look up every agent's process and files, which takes longer than all the rest: they run,
    // in their order, once the pet's first frame is on screen (or after a second if no frame comes).
    afterFirstFrame([this] {
        runInitialAgentDetection(*agentStatuses_);
        setupStatusItem();
        // Launch at login starts the app that runs now: an entry left by a copy elsewhere (the build folder,
        // an older install) is pointed here.
        if (settings_->launchAtLogin())
            loginItem_->set(true);
        const QString firstLaunchKey = QStringLiteral("hasOpenedSettingsOnFirstLaunch");
        const QVariant opened = preferences_->value(firstLaunchKey);
        if (opened.typeId() != QMetaType::Bool || !opened.toBool()) {
            preferences_->setValue(firstLaunchKey, true);
            // The settings window, and the welcome steps in front of it.
            settingsWindow_->show();
            onboarding_->show();
        }
        NubboLog::log(QStringLiteral("start-up finished"));
    });
    return true;
}

void AppStartup::showSettingsForSecondStart() {
    if (!settingsWindow_)
        return;
    settingsWindow_->show();
    const QQuickWindow* window = settingsWindow_->window();
    NubboLog::log(window && window->isVisible() ? QStringLiteral("second start: settings window shown")
                                                : QStringLiteral("second start: the settings window did not open"));
}

void AppStartup::afterFirstFrame(std::function<void()> work) {
    auto once = std::make_shared<std::function<void()>>(std::move(work));
    const auto run = [once] {
        if (!*once)
            return;
        const auto steps = std::move(*once);
        *once = nullptr;
        steps();
    };
    if (petWindow_->hasShownFirstFrame()) {
        run();
        return;
    }
    QObject::connect(petWindow_.get(), &PetWindow::firstFrameShown, petWindow_.get(), run,
                     Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
    QTimer::singleShot(1000, petWindow_.get(), run);
}

void AppStartup::createPetWindow() {
    const auto log = [](const QString& line) { NubboLog::log(line); };
    menu_ = std::make_unique<PetMenuController>(*viewModel_, *settings_);
    const int doubleClickMs = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    interaction_ = std::make_unique<PetInteraction>(*viewModel_, *settings_, *menu_, *scheduler_, *clock_,
                                                    doubleClickMs / 1000.0);
    petWindow_ = std::make_unique<PetWindow>(
        PetViewSource{kPetViewUrl, installPetQml},
        QVariantMap{{QStringLiteral("viewModel"), QVariant::fromValue<QObject*>(viewModel_.get())},
                    {QStringLiteral("settings"), QVariant::fromValue<QObject*>(settings_.get())},
                    {QStringLiteral("interaction"), QVariant::fromValue<QObject*>(interaction_.get())}},
        log);
    petWindowController_ = std::make_unique<PetWindowController>(*petWindow_, *settings_, *preferences_,
                                                                 *viewModel_, *scheduler_, *clock_);
    QObject::connect(petWindow_.get(), &PetWindow::screensChanged, petWindowController_.get(),
                     &PetWindowController::screensChanged);
    petWindowController_->show();
}

void AppStartup::createShellWindows() {
    const auto log = [](const QString& line) { NubboLog::log(line); };
    const auto detect = [this] { runInitialAgentDetection(*agentStatuses_); };
    SettingsWindowServices services;
    services.detectAgents = detect;
    services.resetPetPosition = [] {
        if (PetWindowController* controller = PetWindowController::shared())
            controller->resetPosition();
    };
    services.openOnboarding = [this] { onboarding_->show(); };
    services.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    services.checkNotificationService = [this](std::function<void(std::optional<QString>)> answered) {
        notifications_->requestAuthorization();
        notifier_->checkServer(std::move(answered));
    };
    customPets_ = std::make_unique<CustomPetManager>();
    petPacks_ = std::make_unique<PetPackManager>();
    petArt_ = std::make_unique<PetArtInstaller>(*settings_, *customPets_, *petPacks_);
    services.petFolder = [this] { return petArt_->petFolder(); };
    services.applicationSupport = AppPaths::dataDirectory();
    services.logsFolder = AppPaths::logsDirectory();
    services.socketPath = AppPaths::socketPath();
    services.resourcesDirectory = AppPaths::bundleResourcesDirectory();

    shellEngine_ = std::make_unique<QQmlEngine>();
    settingsModel_ = std::make_unique<SettingsWindowModel>(*settings_, *installer_, *agentStatuses_,
                                                           KeychainStore::shared(), services);
    const QVariantMap shared{{QStringLiteral("settings"), QVariant::fromValue<QObject*>(settings_.get())},
                             {QStringLiteral("petArt"), QVariant::fromValue<QObject*>(petArt_.get())}};
    QVariantMap settingsProperties = shared;
    settingsProperties.insert(QStringLiteral("model"), QVariant::fromValue<QObject*>(settingsModel_.get()));
    settingsWindow_ = std::make_unique<SettingsWindowController>(*shellEngine_, settingsProperties, log);
    onboarding_ = std::make_unique<OnboardingWindowController>(
        *shellEngine_,
        [this, detect] {
            return std::make_unique<OnboardingModel>(*settings_, *installer_, *agentStatuses_, detect,
                                                     AppPaths::bundleResourcesDirectory());
        },
        shared, log);
}

void AppStartup::createQuickPanel() {
    const auto log = [](const QString& line) { NubboLog::log(line); };
    // Its answers take the card's path: the waiting agent first, then the session that asked.
    quickPanelModel_ = std::make_unique<QuickPanelModel>(
        *sessions_, *settings_, *clock_, *scheduler_,
        [viewModel = viewModel_.get()](const QUuid& eventId, ApprovalAnswer answer) {
            return viewModel->answerApproval(eventId, answer, "from a notification or the panel");
        });
    // Its window is built on the first click that asks for it: most users never do.
    interaction_->setQuickPanelHandler([this, log] {
        if (!quickPanel_)
            quickPanel_ = std::make_unique<QuickPanel>(
                *quickPanelModel_, *settings_, PetViewSource{kQuickPanelUrl, installPetQml},
                [window = petWindow_.get()] { return window->petOnScreen(); }, log);
        quickPanel_->toggle();
    });
}

void AppStartup::startRemoteForwards() {
    const auto log = [](const QString& line) { NubboLog::log(line); };
    ssh_ = std::make_unique<LocalSshRunner>();
    // A host's events take the path of the app's own socket, marked as the host's.
    const auto intake = [bus = bus_.get()](const QString& hostName, const QString& socketPath) {
        return std::make_unique<HostIntake>(
            hostName, socketPath,
            [bus](const AgentEvent& event, LocalSocketServer::Reply reply) { bus->publish(event, std::move(reply)); },
            [bus](const QUuid& eventId) { bus->dropParked(eventId); });
    };
    remoteForwards_ = std::make_unique<RemoteForwards>(RemoteForwards::Services{
        *ssh_, *scheduler_, *clock_, *random_, intake, RemoteHostList::defaultPath(), AppPaths::runtimeDirectory(), log});
    QObject::connect(remoteForwards_.get(), &RemoteForwards::hostsChanged, remoteForwards_.get(), [this] {
        busInterface_->remoteHostsChanged();
        settingsModel_->remoteHosts()->setHosts(remoteForwards_->hosts());
    });
    remoteForwards_->start();
    // The card's Add and Remove run ssh in batch mode, off the GUI thread: the forwards follow the list file.
    const auto installer = std::make_shared<const RemoteInstaller>();
    settingsModel_->remoteHosts()->setActions(
        [installer](const QString& text, std::function<void(const QString&)> done) {
            QThreadPool::globalInstance()->start([=] { done(installer->add(text, false).error); });
        },
        [installer](const QString& name, std::function<void(const QString&)> done) {
            QThreadPool::globalInstance()->start([=] { done(installer->remove(name).error); });
        });
}

void AppStartup::wireMenus() {
    // The handlers reach their targets through this object, which outlives the menus.
    menu_->setOpenSettingsHandler([this] { settingsWindow_->show(); });
    menu_->setResetPositionHandler([] {
        if (PetWindowController* controller = PetWindowController::shared())
            controller->resetPosition();
    });
    viewModel_->setOpenSettingsHandler([this] { settingsWindow_->show(); });
}

void AppStartup::setupStatusItem() {
    const auto log = [](const QString& line) { NubboLog::log(line); };
    statusItem_ = std::make_unique<StatusItem>([this](QMenu& menu) { menu_->populate(menu); }, log);
    // Without the rendered "MenuBarIcon", the paw symbol in a warm tone that reads on light and dark panels.
    QIcon paw;
    for (const int side : {16, 18, 22, 24, 32, 36, 48})
        paw.addPixmap(QPixmap::fromImage(renderSymbol(QStringLiteral("pawprint.fill"), QSize(side, side), QColor(0xE8, 0x83, 0x3A))));
    statusItem_->setUp(StatusItem::iconFrom(AppPaths::bundleResourcesDirectory(), paw));
    // The tooltip says when commands are approved without asking.
    statusItem_->followApprovalNotice(*settings_);
}

} // namespace nubbo
