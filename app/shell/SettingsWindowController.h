// Owns the settings window: built from its QML on the first show(), reused afterwards (closing only hides
// it), and raised to the front on every show().
#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QVariantMap>

#include <functional>

class QQmlEngine;

namespace nubbo {

class SettingsWindowController : public QObject {
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString& line)>;
    // `properties` are the window's initial properties (model, settings, petArt); the engine must outlive
    // the controller.
    SettingsWindowController(QQmlEngine& engine, QVariantMap properties, LogFunction log, QObject* parent = nullptr);
    ~SettingsWindowController() override;

    // Creates the window on first use, then raises it to the front.
    void show();
    int showCount() const { return showCount_; }
    // Null before the first show.
    QQuickWindow* window() const { return window_; }

Q_SIGNALS:
    void shown();

private:
    QQmlEngine& engine_;
    QVariantMap properties_;
    LogFunction log_;
    QPointer<QQuickWindow> window_;
    int showCount_ = 0;
};

// Puts a window at the centre of the screen the pointer is on, and brings it to the front.
void centreOnScreen(QQuickWindow& window);
void raiseToFront(QQuickWindow& window);

// Builds a window from the shell module's QML; logs the errors and returns null when it does not load.
QQuickWindow* createShellWindow(QQmlEngine& engine, const QString& qmlFile, const QVariantMap& properties,
                                const std::function<void(const QString&)>& log);

} // namespace nubbo
