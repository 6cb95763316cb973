import QtQuick
import QtQuick.Layouts
import Nubbo.Pet

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property SettingsStore settings: shell.settings

    spacing: 16

    SettingsCard {
        title: page.texts.everydayControls
        subtitle: page.texts.everydayControlsSubtitle
        symbol: "switch.2"
        SettingRow {
            title: page.texts.launchAtLogin
            help: page.texts.launchAtLoginHelp
            ToggleSwitch { on: page.settings.launchAtLogin; accessibleName: page.texts.launchAtLogin; onSwitched: on => page.settings.launchAtLogin = on }
        }
        SettingRow {
            title: page.texts.alwaysOnTop
            help: page.texts.alwaysOnTopHelp
            ToggleSwitch { on: page.settings.alwaysOnTop; accessibleName: page.texts.alwaysOnTop; onSwitched: on => page.settings.alwaysOnTop = on }
        }
        SettingRow {
            title: page.texts.pauseNubbo
            help: page.texts.pauseNubboHelp
            ToggleSwitch { on: page.settings.pauseNubbo; accessibleName: page.texts.pauseNubbo; onSwitched: on => page.settings.pauseNubbo = on }
        }
    }

    SettingsCard {
        title: page.texts.windowPosition
        subtitle: page.texts.windowPositionSubtitle
        symbol: "macwindow"
        accessory: ShellButton {
            symbol: "arrow.counterclockwise"
            text: page.texts.resetPosition
            onClicked: page.shell.model.resetPetPosition()
        }
    }
}
