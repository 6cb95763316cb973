import QtQuick
import QtQuick.Layouts
import QtQuick.Dialogs
import Nubbo.Shell

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property SettingsWindowModel model: shell.model

    spacing: 16

    FileDialog {
        id: exportDialog
        acceptLabel: page.texts.save
        rejectLabel: page.texts.cancel
        title: page.texts.exportJSON
        fileMode: FileDialog.SaveFile
        defaultSuffix: "json"
        nameFilters: ["JSON (*.json)"]
        currentFolder: page.model.homeFolder
        selectedFile: page.model.homeFolder + "/nubbo-settings.json"
        // A failed write is dropped, as a cancelled panel is.
        onAccepted: page.model.exportSettings(selectedFile)
    }
    FileDialog {
        id: importDialog
        acceptLabel: page.texts.open
        rejectLabel: page.texts.cancel
        title: page.texts.importJSON
        fileMode: FileDialog.OpenFile
        currentFolder: page.model.homeFolder
        nameFilters: ["JSON (*.json)"]
        onAccepted: {
            const reading = page.model.readImport(selectedFile)
            page.shell.alert(reading, reading.ok ? () => page.model.confirmImport() : null)
        }
    }

    SettingsCard {
        title: page.texts.maintenance
        subtitle: page.texts.maintenanceSubtitle
        symbol: "wrench.adjustable"

        SettingRow {
            title: page.texts.applicationSupport
            help: page.texts.applicationSupportHelp
            ShellButton {
                symbol: "folder"
                text: page.texts.applicationSupport
                onClicked: page.model.openApplicationSupport()
            }
        }
        SettingRow {
            title: page.texts.settingsFile
            help: page.texts.exportImportHelp
            Row {
                spacing: 8
                ShellButton {
                    symbol: "square.and.arrow.up"
                    text: page.texts.exportJSON
                    onClicked: exportDialog.open()
                }
                ShellButton {
                    symbol: "square.and.arrow.down"
                    text: page.texts.importJSON
                    onClicked: importDialog.open()
                }
            }
        }
        SettingRow {
            title: page.texts.rerunOnboarding
            help: page.texts.rerunOnboardingHelp
            ShellButton {
                symbol: "sparkles"
                text: page.texts.rerunOnboarding
                onClicked: page.model.rerunOnboarding()
            }
        }
        SettingRow {
            title: page.texts.resetAllSettings
            help: page.texts.resetAllSettingsHelp
            ShellButton {
                kind: "destructive"
                symbol: "trash"
                text: page.texts.resetAllSettings
                onClicked: page.model.resetAll()
            }
        }
    }
}
