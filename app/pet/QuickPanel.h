// The quick panel: a small window beside the pet listing every live agent session, with the answers to the
// request a session waits on. It opens on the pet's single click (when the user chose it) and closes on the
// next click anywhere: on the pet, outside the panel, or Escape.
//
// On X11 it is a popup-like window (override-redirect, never managed or focused) that grabs the pointer while
// shown, so a click outside it reaches it and closes it; the user's terminal keeps its input focus
// throughout, like the pet panel's. When the grab is refused (another program holds one), the second click on the pet still
// closes it.
#pragma once

#include "pet/PetViewSource.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>

#include <functional>
#include <memory>

class QQuickView;

namespace nubbo {

class QuickPanelModel;
class SettingsStore;

class QuickPanel final : public QObject {
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString& line)>;
    // What the panel stands beside, in global coordinates: the pet's square and its shown bubble.
    using AnchorFunction = std::function<QRect()>;

    static constexpr int kGap = 10;

    QuickPanel(QuickPanelModel& model, SettingsStore& settings, const PetViewSource& source, AnchorFunction anchor,
               LogFunction log, QObject* parent = nullptr);
    ~QuickPanel() override;

    bool isOpen() const { return open_; }
    void toggle();
    void open();
    void close();

    QQuickView& view() { return *view_; }

    // Where a card of this size goes: left of the anchor, bottom edges level, else right of it when the left
    // has no room; always inside the available area.
    static QPoint cardPlacement(const QRect& anchor, const QSize& card, const QRect& available);

Q_SIGNALS:
    void openChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Keeps it level with the pet as it grows and shrinks, and its shape to the card when nothing blends.
    void place();
    void updateMask();
    void grab();
    QRect cardRect() const;
    int shadowMargin() const;

    QuickPanelModel& model_;
    LogFunction log_;
    AnchorFunction anchor_;
    std::unique_ptr<QQuickView> view_;
    QRect anchorRect_;
    bool open_ = false;
    bool compositor_ = true;
    bool grabbed_ = false;
    int grabAttempts_ = 0;
    QTimer grabRetry_;
};

} // namespace nubbo
