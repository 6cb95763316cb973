// The tray icon whose menu is the pet menu. A desktop without a tray host runs without it.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace nubbo {

class SettingsStore;

class StatusItem : public QObject {
    Q_OBJECT

public:
    using LogFunction = std::function<void(const QString& line)>;
    // Fills the (emptied) menu each time it opens, so it shows the current language.
    using MenuFiller = std::function<void(QMenu& menu)>;

    StatusItem(MenuFiller fillMenu, LogFunction log, QObject* parent = nullptr);
    ~StatusItem() override;

    // "MenuBarIcon" from the resources folder (18 px and its 2x form), else the fallback symbol.
    static QIcon iconFrom(const QString& resourcesDir, const QIcon& fallback);
    void setUp(const QIcon& icon);
    bool isShown() const;

    // From now on the tooltip says when Allow All or Ignore Risk is on ("Nubbo" otherwise), following the
    // settings as they change; also before the tray is set up, and without one.
    void followApprovalNotice(const SettingsStore& settings);
    QString toolTip() const { return toolTip_; }

private:
    void setToolTip(const QString& text);

    MenuFiller fillMenu_;
    LogFunction log_;
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    QString toolTip_ = QStringLiteral("Nubbo");
    QMetaObject::Connection noticeConnection_;
};

} // namespace nubbo
