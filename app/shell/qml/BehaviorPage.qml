import QtQuick
import QtQuick.Layouts
import Nubbo.Pet

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property var options: shell.model.options
    readonly property SettingsStore settings: shell.settings

    spacing: 16

    SettingsCard {
        title: page.texts.petInteraction
        subtitle: page.texts.petInteractionSubtitle
        symbol: "cursorarrow.motionlines"

        SettingRow {
            title: page.texts.singleClick
            help: page.texts.singleClickHelp
            ChoicePicker {
                choices: page.options.singleClickBehavior
                value: page.settings.singleClickBehavior
                accessibleName: page.texts.singleClick
                onChosen: v => page.settings.singleClickBehavior = v
            }
        }
        SettingRow {
            title: page.texts.doubleClick
            help: page.texts.doubleClickHelp
            ChoicePicker {
                choices: page.options.doubleClickBehavior
                value: page.settings.doubleClickBehavior
                accessibleName: page.texts.doubleClick
                onChosen: v => page.settings.doubleClickBehavior = v
            }
        }
        SettingRow {
            title: page.texts.edgeSnap
            help: page.texts.edgeSnapHelp
            ToggleSwitch { on: page.settings.edgeSnap; accessibleName: page.texts.edgeSnap; onSwitched: on => page.settings.edgeSnap = on }
        }
        SettingRow {
            title: page.texts.idleSleep
            help: page.texts.idleSleepHelp
            ChoicePicker {
                choices: page.options.idleSleepMinutes
                value: page.settings.idleSleepMinutes
                accessibleName: page.texts.idleSleep
                onChosen: v => page.settings.idleSleepMinutes = v
            }
        }
    }
}
