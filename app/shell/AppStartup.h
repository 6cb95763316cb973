// Builds the app's services in order and starts them.
#pragma once

#include <QStringList>

class QQmlEngine;

#include <functional>
#include <memory>
#include <optional>

namespace nubbo {

class AgentDetector;
class AgentStatuses;
class AgentEventBus;
class AgentSessionStore;
class AppBusInterface;
class FreedesktopNotifier;
class HookGuardian;
class ConfigFolderMover;
class HookInstaller;
class JsonPreferencesDomain;
class LocalSshRunner;
class NarrationSummarizer;
class NubboNotifications;
class OnboardingWindowController;
class CustomPetManager;
class PetArtInstaller;
class PetPackManager;
class PetInteraction;
class PetMenuController;
class PetViewModel;
class PetWindow;
class PetWindowController;
class QuickPanel;
class QuickPanelModel;
class RemoteForwards;
class SettingsWindowController;
class SettingsWindowModel;
class StatusItem;
class QtScheduler;
class SettingsStore;
class SessionNavigator;
class SingleInstance;
class SystemClock;
class SystemRandom;
class TerminalFocus;
class XdgLoginItem;

class AppStartup {
public:
    AppStartup();
    ~AppStartup();
    // The hook flags and `remote` run without starting anything else; the exit status to return when one was
    // given.
    std::optional<int> handleCommandLine(const QStringList& arguments);
    // Starts the app and returns true, or, when it already runs for this home, asks that one to show its
    // settings and returns false without building anything: the caller then exits instead of entering
    // the event loop.
    bool run();

    // Reached by the desktop tests and the benchmarks; null before run().
    PetWindow* petWindow() const { return petWindow_.get(); }
    SettingsWindowController* settingsWindow() const { return settingsWindow_.get(); }
    OnboardingWindowController* onboardingWindow() const { return onboarding_.get(); }
    QuickPanel* quickPanel() const { return quickPanel_.get(); }

private:
    void buildSettings();
    void createPetWindow();
    void createShellWindows();
    void wireMenus();
    void setupStatusItem();
    void createQuickPanel();
    void startRemoteForwards();
    void afterFirstFrame(std::function<void()> work);
    void showSettingsForSecondStart();

    // Held for the whole run: destroyed last, so a new start is refused until this one has wound down.
    std::unique_ptr<SingleInstance> instance_;
    // Served on the bus as a child of instance_.
    AppBusInterface* busInterface_ = nullptr;
    std::unique_ptr<SystemClock> clock_;
    std::unique_ptr<QtScheduler> scheduler_;
    std::unique_ptr<SystemRandom> random_;
    std::unique_ptr<JsonPreferencesDomain> preferences_;
    std::unique_ptr<XdgLoginItem> loginItem_;
    std::unique_ptr<SettingsStore> settings_;
    // What the detection last saw of each agent, for the windows that show it.
    std::unique_ptr<AgentStatuses> agentStatuses_;
    std::unique_ptr<HookInstaller> installer_;
    std::unique_ptr<HookGuardian> guardian_;
    std::unique_ptr<ConfigFolderMover> folderMover_;
    std::unique_ptr<FreedesktopNotifier> notifier_;
    std::unique_ptr<NubboNotifications> notifications_;
    std::unique_ptr<PetViewModel> viewModel_;
    std::unique_ptr<PetMenuController> menu_;
    std::unique_ptr<PetInteraction> interaction_;
    std::unique_ptr<PetWindow> petWindow_;
    std::unique_ptr<PetWindowController> petWindowController_;
    std::unique_ptr<CustomPetManager> customPets_;
    std::unique_ptr<PetPackManager> petPacks_;
    std::unique_ptr<PetArtInstaller> petArt_;
    // The settings and onboarding windows share one engine, which outlives them.
    std::unique_ptr<QQmlEngine> shellEngine_;
    std::unique_ptr<SettingsWindowModel> settingsModel_;
    std::unique_ptr<SettingsWindowController> settingsWindow_;
    std::unique_ptr<OnboardingWindowController> onboarding_;
    std::unique_ptr<StatusItem> statusItem_;
    std::unique_ptr<NarrationSummarizer> summarizer_;
    std::unique_ptr<AgentSessionStore> sessions_;
    std::unique_ptr<AgentEventBus> bus_;
    // Agents on SSH hosts: a forward per host over the user's own ssh, into a listener per host.
    std::unique_ptr<LocalSshRunner> ssh_;
    std::unique_ptr<RemoteForwards> remoteForwards_;
    // Notes which agents run, every few seconds, on its own thread.
    std::unique_ptr<AgentDetector> detector_;
    std::unique_ptr<QuickPanelModel> quickPanelModel_;
    std::unique_ptr<QuickPanel> quickPanel_;
    // Going to a session's terminal, from the bus, the pet and the notifications.
    std::unique_ptr<TerminalFocus> terminalFocus_;
    std::unique_ptr<SessionNavigator> navigator_;
};

} // namespace nubbo
