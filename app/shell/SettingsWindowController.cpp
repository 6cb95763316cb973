#include "shell/SettingsWindowController.h"

#include "shell/qml/ShellQml.h"

#include <QCursor>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>

namespace nubbo {

QQuickWindow* createShellWindow(QQmlEngine& engine, const QString& qmlFile, const QVariantMap& properties,
                                const std::function<void(const QString&)>& log) {
    installShellQml(engine);
    QQmlComponent component(&engine, shellQmlUrl(qmlFile));
    // Qt 6.4 crashes creating from a component that failed to load: say why instead.
    QObject* object = component.isError() ? nullptr : component.createWithInitialProperties(properties);
    auto* window = qobject_cast<QQuickWindow*>(object);
    if (!window) {
        for (const QQmlError& error : component.errors())
            log(qmlFile + QStringLiteral(": ") + error.toString());
        delete object;
        return nullptr;
    }
    // The QML engine must not collect what C++ owns.
    QQmlEngine::setObjectOwnership(window, QQmlEngine::CppOwnership);
    return window;
}

void centreOnScreen(QQuickWindow& window) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window.setScreen(screen);
    window.setPosition(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

void raiseToFront(QQuickWindow& window) {
    window.show();
    if (window.windowStates() & Qt::WindowMinimized)
        window.setWindowStates(window.windowStates() & ~Qt::WindowMinimized);
    window.raise();
    window.requestActivate();
}

SettingsWindowController::SettingsWindowController(QQmlEngine& engine, QVariantMap properties, LogFunction log,
                                                   QObject* parent)
    : QObject(parent), engine_(engine), properties_(std::move(properties)), log_(std::move(log)) {}

SettingsWindowController::~SettingsWindowController() { delete window_.data(); }

void SettingsWindowController::show() {
    ++showCount_;
    log_(QStringLiteral("settings window requested"));
    if (!window_) {
        window_ = createShellWindow(engine_, QStringLiteral("SettingsWindow.qml"), properties_, log_);
        if (!window_)
            return;
        centreOnScreen(*window_);
    }
    raiseToFront(*window_);
    Q_EMIT shown();
}

} // namespace nubbo
