#include "shell/StatusItem.h"

#include "approvals/ApprovalModeTexts.h"
#include "settings/SettingsStore.h"

#include <QCursor>
#include <QFileInfo>
#include <QMenu>
#include <QSystemTrayIcon>

namespace nubbo {

StatusItem::StatusItem(MenuFiller fillMenu, LogFunction log, QObject* parent)
    : QObject(parent), fillMenu_(std::move(fillMenu)), log_(std::move(log)) {}

StatusItem::~StatusItem() = default;

QIcon StatusItem::iconFrom(const QString& resourcesDir, const QIcon& fallback) {
    QIcon icon;
    for (const char* name : {"MenuBarIcon.png", "MenuBarIcon@2x.png"}) {
        const QString path = resourcesDir + QLatin1Char('/') + QLatin1String(name);
        if (QFileInfo::exists(path))
            icon.addFile(path);
    }
    return icon.isNull() ? fallback : icon;
}

void StatusItem::setUp(const QIcon& icon) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        log_(QStringLiteral("status item: no system tray on this desktop; the pet's own menu still works"));
        return;
    }
    menu_ = std::make_unique<QMenu>();
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
        menu_->clear();
        fillMenu_(*menu_);
    });
    fillMenu_(*menu_);
    tray_ = std::make_unique<QSystemTrayIcon>(icon);
    tray_->setToolTip(toolTip_);
    tray_->setContextMenu(menu_.get());
    // Trays differ on what a left click does; here it opens the same menu as the right click.
    connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            menu_->popup(QCursor::pos());
    });
    tray_->show();
}

bool StatusItem::isShown() const { return tray_ && tray_->isVisible(); }

void StatusItem::followApprovalNotice(const SettingsStore& settings) {
    disconnect(noticeConnection_);
    const auto show = [this, &settings] { setToolTip(settings.approvalNotice().toolTip); };
    noticeConnection_ = connect(&settings, &SettingsStore::approvalNoticeChanged, this, show);
    show();
}

void StatusItem::setToolTip(const QString& text) {
    toolTip_ = text;
    if (tray_)
        tray_->setToolTip(text);
}

} // namespace nubbo
