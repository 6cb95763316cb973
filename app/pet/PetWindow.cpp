#include "pet/PetWindow.h"

#include "platform/X11PanelHints.h"

#include <QBitmap>
#include <QCursor>
#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickView>
#include <QScreen>
#include <QSurfaceFormat>
#include <QTimer>

#include <cmath>

namespace nubbo {
namespace {

// The item's on-screen rectangle while it shows at all; parents' opacity counts.
std::optional<QRectF> shownRect(const QQuickItem* item) {
    if (!item || !item->isVisible())
        return std::nullopt;
    qreal opacity = 1;
    for (const QQuickItem* i = item; i; i = i->parentItem())
        opacity *= i->opacity();
    if (opacity < 0.01 || item->width() <= 0 || item->height() <= 0)
        return std::nullopt;
    return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
}

} // namespace

PetWindow::PetWindow(const PetViewSource& source, const QVariantMap& properties, LogFunction log, QObject* parent)
    : QObject(parent), view_(std::make_unique<QQuickView>()), log_(std::move(log)) {
    QSurfaceFormat format = view_->format();
    format.setAlphaBufferSize(8);
    view_->setFormat(format);
    view_->setColor(Qt::transparent);
    // A tool window that never takes focus: the user's terminal keeps the keyboard while they click the pet.
    view_->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint |
                    Qt::WindowStaysOnTopHint);
    view_->setProperty("_q_showWithoutActivating", true);
    view_->setTitle(QStringLiteral("Nubbo"));
    view_->setResizeMode(QQuickView::SizeViewToRootObject);
    view_->resize(kPetPanelSize.toSize());
    view_->setMinimumSize(kPetPanelSize.toSize());
    view_->setMaximumSize(kPetPanelSize.toSize());
    source.installViews(*view_->engine());
    view_->setInitialProperties(properties);
    view_->setSource(source.url);
    if (view_->status() == QQuickView::Error) {
        for (const auto& error : view_->errors())
            log_(QStringLiteral("pet window: ") + error.toString());
    }

    connect(view_.get(), &QQuickWindow::frameSwapped, this, &PetWindow::afterFrame);
    // At most ten times a second: a frame animation changes the silhouette on every frame.
    boundingUpdate_.setSingleShot(true);
    boundingUpdate_.setInterval(100);
    connect(&boundingUpdate_, &QTimer::timeout, this, &PetWindow::clipToDrawnContent);
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
        watchScreen(screen);
        Q_EMIT screensChanged();
    });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &PetWindow::screensChanged);
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, &PetWindow::screensChanged);
}

PetWindow::~PetWindow() = default;

void PetWindow::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, &PetWindow::screensChanged);
    connect(screen, &QScreen::availableGeometryChanged, this, &PetWindow::screensChanged);
}

void PetWindow::moveTo(const QPointF& origin) {
    // The spring works in fractions of a point; the window only moves by whole ones.
    origin_ = origin;
    view_->setPosition(QPoint(qRound(origin.x()), qRound(origin.y())));
}

QList<PetScreen> PetWindow::screens() const {
    QList<PetScreen> result;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        result.append({QRectF(primary->geometry()), QRectF(primary->availableGeometry())});
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != primary)
            result.append({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    return result;
}

QPointF PetWindow::pointerPosition() const { return QPointF(QCursor::pos()); }

void PetWindow::setAlwaysOnTop(bool onTop) {
    alwaysOnTop_ = onTop;
    if (!shown_) {
        view_->setFlag(Qt::WindowStaysOnTopHint, onTop);
        return;
    }
    // On a mapped window the window manager is asked directly; changing Qt's flags would remap it.
    if (x11::available())
        x11::setKeepAbove(*view_, onTop);
    else
        view_->setFlag(Qt::WindowStaysOnTopHint, onTop);
}

void PetWindow::showPanel() {
    view_->create();
    x11::prepareUnmapped(*view_);
    view_->show();
    x11::announceMapped(*view_);
    shown_ = true;
    view_->setPosition(QPoint(qRound(origin_.x()), qRound(origin_.y())));
}

QRegion PetWindow::currentShape() {
    QRegion region;
    QQuickItem* root = view_->rootObject();
    if (!root)
        return region;
    // Looked up once: walking the item tree on every frame would cost more than the frame.
    if (!petSquare_)
        petSquare_ = root->findChild<QQuickItem*>(QStringLiteral("petSquare"));
    if (!bubbleCard_)
        bubbleCard_ = root->findChild<QQuickItem*>(QStringLiteral("bubbleCard"));
    for (const QQuickItem* item : {petSquare_.data(), bubbleCard_.data()}) {
        if (const auto rect = shownRect(item))
            region += rect->toAlignedRect();
    }
    return region;
}

QRect PetWindow::petOnScreen() {
    currentShape();  // finds the items
    QRect rect;
    for (const QQuickItem* item : {petSquare_.data(), bubbleCard_.data()})
        if (const auto shown = shownRect(item))
            rect |= shown->toAlignedRect();
    return rect.isValid() ? rect.translated(view_->position()) : QRect();
}

void PetWindow::afterFrame() {
    if (!firstFrameLogged_) {
        firstFrameLogged_ = true;
        log_(QStringLiteral("pet first frame"));
        Q_EMIT firstFrameShown();
    }
    if (QQuickItem* root = view_->rootObject()) {
        const auto* model = root->property("viewModel").value<QObject*>();
        const QString state = model ? model->property("state").toString() : QString();
        if (state != drawnState_) {
            drawnState_ = state;
            log_(QStringLiteral("pet frame ") + state);
        }
    }
    if (!x11::available())
        return;
    const QRegion input = currentShape();
    if (input != inputShape_) {
        inputShape_ = input;
        x11::setInputShape(*view_, input);
    }
    // A compositor may come or go while the app runs; asking the X server is a round trip, so not every frame.
    if (framesSinceCompositorCheck_-- <= 0) {
        framesSinceCompositorCheck_ = 60;
        compositor_ = x11::compositorActive();
    }
    if (compositor_) {
        if (clipped_) {
            clipped_ = false;
            x11::setBoundingShape(*view_, std::nullopt);
        }
    } else if (!boundingUpdate_.isActive()) {
        boundingUpdate_.start();
    }
}

void PetWindow::clipToDrawnContent() {
    // Pixels at least half opaque are kept: soft shadows would show as dark smudges on a desktop that cannot
    // blend them.
    const QImage image = view_->grabWindow().convertToFormat(QImage::Format_ARGB32);
    QImage mask(image.size(), QImage::Format_MonoLSB);
    mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mask.fill(0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(row[x]) >= 128)
                mask.setPixel(x, y, 1);
    }
    const QRegion drawn(QBitmap::fromImage(mask));
    if (clipped_ && drawn == bounding_)
        return;
    clipped_ = true;
    bounding_ = drawn;
    x11::setBoundingShape(*view_, drawn);
}

} // namespace nubbo
