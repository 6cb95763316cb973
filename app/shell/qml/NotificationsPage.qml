import QtQuick
import QtQuick.Layouts
import Nubbo.Pet

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property SettingsStore settings: shell.settings

    spacing: 16

    Connections {
        target: page.shell.model
        function onNotificationCheckFinished(alert) { page.shell.alert(alert) }
    }

    SettingsCard {
        title: page.texts.notificationRules
        subtitle: page.texts.notificationRulesSubtitle
        symbol: "bell.badge"

        SettingRow {
            title: page.texts.showNotifications
            help: page.texts.showNotificationsHelp
            ToggleSwitch { on: page.settings.showNotifications; accessibleName: page.texts.showNotifications; onSwitched: on => page.settings.showNotifications = on }
        }
        SettingRow {
            title: page.texts.approvalRequired
            help: page.texts.approvalRequiredHelp
            ToggleSwitch { on: page.settings.notifyApprovalRequired; enabled: page.settings.showNotifications; accessibleName: page.texts.approvalRequired; onSwitched: on => page.settings.notifyApprovalRequired = on }
        }
        SettingRow {
            title: page.texts.taskCompleted
            help: page.texts.taskCompletedHelp
            ToggleSwitch { on: page.settings.notifyTaskCompleted; enabled: page.settings.showNotifications; accessibleName: page.texts.taskCompleted; onSwitched: on => page.settings.notifyTaskCompleted = on }
        }
        SettingRow {
            title: page.texts.riskyAction
            help: page.texts.riskyActionHelp
            ToggleSwitch { on: page.settings.notifyRiskyAction; enabled: page.settings.showNotifications; accessibleName: page.texts.riskyAction; onSwitched: on => page.settings.notifyRiskyAction = on }
        }
        SettingRow {
            title: page.texts.quietWhileLooking
            help: page.texts.quietWhileLookingHelp
            ToggleSwitch { on: page.settings.quietWhileLooking; enabled: page.settings.showNotifications; accessibleName: page.texts.quietWhileLooking; onSwitched: on => page.settings.quietWhileLooking = on }
        }
        SettingRow {
            title: page.texts.requestPermission
            help: page.texts.requestPermissionHelp
            ShellButton {
                symbol: "bell.badge"
                text: page.texts.requestPermission
                onClicked: page.shell.model.requestNotificationPermission()
            }
        }
    }

    SettingsCard {
        title: page.texts.goToSession
        subtitle: page.texts.goToSessionSubtitle
        symbol: "terminal"

        SettingRow {
            title: page.texts.goToSessionWhere
            help: page.texts.goToSessionWhereHelp
        }
    }
}
