import QtQuick
import QtQuick.Layouts
import Nubbo.Pet

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property var options: shell.model.options
    readonly property SettingsStore settings: shell.settings
    readonly property var mode: options.approvalMode.find(m => m.value === settings.approvalMode) || options.approvalMode[0]

    spacing: 16

    SettingsCard {
        title: page.texts.approvalPolicy
        subtitle: page.texts.approvalPolicySubtitle
        symbol: "hand.raised"

        SettingRow {
            title: page.texts.approvalMode
            help: page.mode.detail
            ChoicePicker {
                choices: page.options.approvalMode
                value: page.settings.approvalMode
                accessibleName: page.texts.approvalMode
                onChosen: v => page.settings.approvalMode = v
            }
        }
        SettingRow {
            title: page.texts.trustedCommands
            help: page.texts.trustedCommandsHelp
            stacked: true
            CommandEditor {
                width: parent.width
                height: 118
                model: page.shell.model
                settings: page.settings
                list: "trusted"
                accessibleName: page.texts.trustedCommands
            }
        }
        SettingRow {
            title: page.texts.dangerousCommands
            help: page.texts.dangerousCommandsHelp
            stacked: true
            CommandEditor {
                width: parent.width
                height: 134
                model: page.shell.model
                settings: page.settings
                list: "dangerous"
                accessibleName: page.texts.dangerousCommands
            }
        }
        SettingRow {
            title: page.texts.ignoreRisk
            help: page.texts.ignoreRiskWarning
            warning: true
            ToggleSwitch { on: page.settings.bypassRiskCheck; accessibleName: page.texts.ignoreRisk; onSwitched: on => page.settings.bypassRiskCheck = on }
        }
    }
}
