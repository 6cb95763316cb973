#include "shell/OnboardingWindowController.h"

#include "shell/models/OnboardingModel.h"
#include "shell/SettingsWindowController.h"

#include <QQuickWindow>
#include <QTimer>

namespace nubbo {

OnboardingWindowController::OnboardingWindowController(QQmlEngine& engine, ModelFactory makeModel,
                                                       QVariantMap properties, LogFunction log, QObject* parent)
    : QObject(parent), engine_(engine), makeModel_(std::move(makeModel)), properties_(std::move(properties)),
      log_(std::move(log)) {}

OnboardingWindowController::~OnboardingWindowController() {
    // Closing as it goes, the window would report itself hidden: nothing may answer that any more.
    if (QQuickWindow* window = window_.data()) {
        window_.clear();
        window->disconnect(this);
        delete window;
    }
    delete retiringWindow_.data();
    model_.reset();
    delete retiringModel_.data();
}

void OnboardingWindowController::show() {
    log_(QStringLiteral("onboarding window requested"));
    if (!window_) {
        model_ = makeModel_();
        QVariantMap properties = properties_;
        properties.insert(QStringLiteral("model"), QVariant::fromValue<QObject*>(model_.get()));
        window_ = createShellWindow(engine_, QStringLiteral("OnboardingWindow.qml"), properties, log_);
        if (!window_) {
            model_.reset();
            return;
        }
        connect(model_.get(), &OnboardingModel::completed, this, &OnboardingWindowController::release);
        // Closing the window ends this run as well: the next show() starts again at the first step.
        connect(window_.data(), &QWindow::visibleChanged, this, [this](bool visible) {
            if (!visible)
                release();
        });
        centreOnScreen(*window_);
    }
    raiseToFront(*window_);
    Q_EMIT shown();
}

void OnboardingWindowController::release() {
    if (!window_)
        return;
    QQuickWindow* window = window_.data();
    window_.clear();
    window->disconnect(this);
    window->hide();
    // Not from inside the window's or the model's own signal: both go once the event loop is back.
    retiringWindow_ = window;
    window->deleteLater();
    if (OnboardingModel* model = model_.release()) {
        retiringModel_ = model;
        model->deleteLater();
    }
    log_(QStringLiteral("onboarding finished"));
    Q_EMIT finished();
}

} // namespace nubbo
