// Runs the onboarding: a fresh model and window for each run, shown until the user completes it or closes
// the window, then released. Showing it while it runs only raises it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QVariantMap>

#include <functional>
#include <memory>

class QQmlEngine;

namespace nubbo {

class OnboardingModel;

class OnboardingWindowController : public QObject {
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString& line)>;
    using ModelFactory = std::function<std::unique_ptr<OnboardingModel>()>;
    // `properties` are further initial properties of the window (settings, petArt).
    OnboardingWindowController(QQmlEngine& engine, ModelFactory makeModel, QVariantMap properties, LogFunction log,
                               QObject* parent = nullptr);
    ~OnboardingWindowController() override;

    void show();
    bool isOpen() const { return !window_.isNull(); }
    QQuickWindow* window() const { return window_; }

Q_SIGNALS:
    void shown();
    void finished();

private:
    void release();

    QQmlEngine& engine_;
    ModelFactory makeModel_;
    QVariantMap properties_;
    LogFunction log_;
    std::unique_ptr<OnboardingModel> model_;
    QPointer<QQuickWindow> window_;
    // A finished run's window and model, deleted once the event loop is back; or with the controller, if
    // that comes first (before the engine goes).
    QPointer<QQuickWindow> retiringWindow_;
    QPointer<OnboardingModel> retiringModel_;
};

} // namespace nubbo
