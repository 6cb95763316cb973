#include "pet/QuickPanel.h"

#include "pet/QuickPanelModel.h"
#include "settings/SettingsStore.h"
#include "platform/X11PanelHints.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSurfaceFormat>

#include <algorithm>

namespace nubbo {

namespace {

constexpr int kScreenInset = 6;
constexpr int kGrabAttempts = 20;

} // namespace

QuickPanel::QuickPanel(QuickPanelModel& model, SettingsStore& settings, const PetViewSource& source,
                       AnchorFunction anchor, LogFunction log, QObject* parent)
    : QObject(parent), model_(model), log_(std::move(log)), anchor_(std::move(anchor)),
      view_(std::make_unique<QQuickView>()) {
    QSurfaceFormat format = view_->format();
    format.setAlphaBufferSize(8);
    view_->setFormat(format);
    view_->setColor(Qt::transparent);
    // Past the window manager (override-redirect), which then neither frames nor focuses it, so the terminal
    // keeps the keyboard focus. Not a Qt::Popup: Qt leaves popup windows out of the accessibility tree, and
    // the panel's buttons must be reachable there.
    view_->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint | Qt::WindowStaysOnTopHint |
                    Qt::NoDropShadowWindowHint | Qt::WindowDoesNotAcceptFocus);
    view_->setProperty("_q_showWithoutActivating", true);
    view_->setTitle(QStringLiteral("Nubbo Quick Panel"));
    view_->setResizeMode(QQuickView::SizeViewToRootObject);
    source.installViews(*view_->engine());
    view_->setInitialProperties({{QStringLiteral("model"), QVariant::fromValue<QObject*>(&model_)},
                                 {QStringLiteral("settings"), QVariant::fromValue<QObject*>(&settings)}});
    view_->setSource(source.url);
    if (view_->status() == QQuickView::Error)
        for (const auto& error : view_->errors())
            log_(QStringLiteral("quick panel: ") + error.toString());
    view_->installEventFilter(this);
    // The panel grows and shrinks with its rows; it stays level with the pet's bottom, so it grows upwards.
    connect(view_.get(), &QWindow::heightChanged, this, [this] {
        if (open_)
            place();
    });
    connect(view_.get(), &QWindow::widthChanged, this, [this] {
        if (open_)
            place();
    });
    grabRetry_.setSingleShot(true);
    grabRetry_.setInterval(50);
    connect(&grabRetry_, &QTimer::timeout, this, &QuickPanel::grab);
}

QuickPanel::~QuickPanel() { view_->removeEventFilter(this); }

void QuickPanel::toggle() {
    if (open_)
        close();
    else
        open();
}

void QuickPanel::open() {
    if (open_ || !view_->rootObject())
        return;
    open_ = true;
    model_.setActive(true);
    anchorRect_ = anchor_ ? anchor_() : QRect();
    place();
    grabbed_ = false;
    grabAttempts_ = 0;
    compositor_ = !x11::available() || x11::compositorActive();
    updateMask();
    view_->show();
    log_(QStringLiteral("quick panel: open, %1 session(s)").arg(model_.count()));
    Q_EMIT openChanged();
}

void QuickPanel::close() {
    if (!open_)
        return;
    open_ = false;
    grabRetry_.stop();
    if (grabbed_) {
        view_->setMouseGrabEnabled(false);
        view_->setKeyboardGrabEnabled(false);
        grabbed_ = false;
    }
    view_->hide();
    model_.setActive(false);
    log_(QStringLiteral("quick panel: closed"));
    Q_EMIT openChanged();
}

int QuickPanel::shadowMargin() const {
    const QQuickItem* root = view_->rootObject();
    return root ? root->property("shadowMargin").toInt() : 0;
}

QRect QuickPanel::cardRect() const {
    const int m = shadowMargin();
    return QRect(QPoint(0, 0), view_->size()).adjusted(m, m, -m, -m);
}

QPoint QuickPanel::cardPlacement(const QRect& anchor, const QSize& card, const QRect& available) {
    const QRect area = available.adjusted(kScreenInset, kScreenInset, -kScreenInset, -kScreenInset);
    int x = anchor.left() - kGap - card.width();
    if (x < area.left())
        x = anchor.right() + 1 + kGap;
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - card.width()));
    int y = anchor.bottom() + 1 - card.height();
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - card.height()));
    return {x, y};
}

void QuickPanel::updateMask() {
    // Without a compositor translucent pixels are black: the window is cut to the card, its shadow dropped.
    if (compositor_) {
        view_->setMask(QRegion());
        return;
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(cardRect()), 14, 14);
    view_->setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void QuickPanel::place() {
    QScreen* screen = QGuiApplication::screenAt(anchorRect_.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const QRect anchor = anchorRect_.isValid() ? anchorRect_ : QRect(available.bottomRight() - QPoint(1, 1), QSize(1, 1));
    const int m = shadowMargin();
    const QPoint card = cardPlacement(anchor, cardRect().size(), available);
    view_->setPosition(card - QPoint(m, m));
    updateMask();
}

void QuickPanel::grab() {
    if (!open_ || grabbed_)
        return;
    // X refuses a grab on a window that is not viewable yet, and while another client holds one.
    if (view_->isExposed() && view_->setMouseGrabEnabled(true)) {
        view_->setKeyboardGrabEnabled(true);
        grabbed_ = true;
        return;
    }
    if (++grabAttempts_ < kGrabAttempts) {
        grabRetry_.start();
        return;
    }
    log_(QStringLiteral("quick panel: no pointer grab; a click on the pet closes it"));
}

bool QuickPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != view_.get())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::Expose:
        if (open_ && !grabbed_ && view_->isExposed())
            QTimer::singleShot(0, this, &QuickPanel::grab);
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        // While grabbed, presses anywhere on screen come here; those outside the card close the panel and go
        // no further (as a menu's do).
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!cardRect().contains(mouse->position().toPoint())) {
            close();
            return true;
        }
        break;
    }
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace nubbo
