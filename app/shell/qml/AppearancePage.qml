import QtQuick
import QtQuick.Layouts
import QtQuick.Dialogs
import Nubbo.Pet

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property var options: shell.model.options
    readonly property SettingsStore settings: shell.settings
    readonly property PetArtInstaller petArt: shell.petArt
    readonly property string source: settings.petSource
    readonly property string provider: settings.summaryProvider

    spacing: 16

    function fileName(path) { return path.substring(path.lastIndexOf("/") + 1) }
    function report(result) {
        if (result && result.ok === false)
            shell.alert({ title: result.title, text: result.text, confirm: texts.ok, warning: true })
    }

    FileDialog {
        id: imageDialog
        acceptLabel: page.texts.open
        rejectLabel: page.texts.cancel
        title: page.texts.chooseImage
        currentFolder: page.shell.model.homeFolder
        nameFilters: ["Images (*.png *.jpg *.jpeg *.gif *.webp)"]
        onAccepted: if (page.petArt) page.report(page.petArt.installImage(selectedFile))
    }
    FileDialog {
        id: packDialog
        acceptLabel: page.texts.open
        rejectLabel: page.texts.cancel
        title: page.texts.importPack
        currentFolder: page.shell.model.homeFolder
        nameFilters: ["Pet packs (*.zip *.nubbopack)"]
        onAccepted: if (page.petArt) page.report(page.petArt.importPack(selectedFile))
    }

    SettingsCard {
        title: page.texts.companionAppearance
        subtitle: page.texts.companionAppearanceSubtitle
        symbol: "paintpalette"

        SettingRow {
            title: page.texts.petSource
            help: page.texts.petSourceHelp
            ChoicePicker {
                choices: page.options.petSource
                value: page.source
                accessibleName: page.texts.petSource
                onChosen: v => page.settings.petSource = v
            }
        }
        // What the chosen source shows, and where its art comes from.
        Item {
            Layout.fillWidth: true
            implicitHeight: 84
            PetPreview {
                id: thumb
                y: 4
                width: 64
                height: 64
                settings: page.settings
            }
            Column {
                x: thumb.width + 14
                anchors.verticalCenter: thumb.verticalCenter
                width: parent.width - x - buttons.width - 12
                spacing: 3
                Text {
                    width: parent.width
                    text: page.options.petSource.find(c => c.value === page.source).title
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.bodySize
                    font.weight: Font.Medium
                    color: Theme.text
                }
                Text {
                    width: parent.width
                    visible: page.source !== "official"
                    text: page.source === "custom"
                          ? (page.settings.customPetPath !== "" ? page.fileName(page.settings.customPetPath) : page.texts.noPetPicture)
                          : (page.settings.activePackPath !== "" ? page.fileName(page.settings.activePackPath) : page.texts.noPackImported)
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.helpSize
                    color: Theme.secondaryText
                    elide: Text.ElideMiddle
                }
            }
            Row {
                id: buttons
                anchors.right: parent.right
                anchors.verticalCenter: thumb.verticalCenter
                spacing: 8
                ShellButton {
                    visible: page.source === "custom"
                    symbol: "photo"
                    text: page.texts.chooseImage
                    onClicked: imageDialog.open()
                }
                ShellButton {
                    visible: page.source === "pack"
                    symbol: "shippingbox"
                    text: page.texts.importPack
                    onClicked: packDialog.open()
                }
                ShellButton {
                    symbol: "folder"
                    text: page.texts.petFolder
                    onClicked: page.shell.model.openPetFolder()
                }
            }
        }
        SettingRow {
            title: page.texts.petSize
            help: page.texts.petSizeHelp
            ValueSlider {
                from: page.settings.rangeFrom("petSizeScale")
                to: page.settings.rangeTo("petSizeScale")
                stepSize: 0.05
                value: page.settings.petSizeScale
                accessibleName: page.texts.petSize
                onMoved: v => page.settings.petSizeScale = v
            }
        }
        SettingRow {
            title: page.texts.bubbleStyle
            help: page.texts.bubbleStyleHelp
            SegmentedPicker {
                choices: page.options.bubbleStyle
                value: page.settings.bubbleStyle
                accessibleName: page.texts.bubbleStyle
                onChosen: v => page.settings.bubbleStyle = v
            }
        }
        SettingRow {
            title: page.texts.activityLabel
            help: page.texts.activityLabelHelp
            ToggleSwitch { on: page.settings.showActivityLabel; accessibleName: page.texts.activityLabel; onSwitched: on => page.settings.showActivityLabel = on }
        }
        SettingRow {
            title: page.texts.providerChip
            help: page.texts.providerChipHelp
            ToggleSwitch { on: page.settings.showProviderChip; accessibleName: page.texts.providerChip; onSwitched: on => page.settings.showProviderChip = on }
        }
        SettingRow {
            title: page.texts.smartSummary
            help: page.texts.smartSummaryHelp
            ToggleSwitch { on: page.settings.smartSummary; accessibleName: page.texts.smartSummary; onSwitched: on => page.settings.smartSummary = on }
        }
        SettingRow {
            title: page.texts.summaryProvider
            help: page.texts.summaryProviderHelp
            ChoicePicker {
                choices: page.options.summaryProvider
                value: page.provider
                accessibleName: page.texts.summaryProvider
                onChosen: v => page.settings.summaryProvider = v
            }
        }
        SettingRow {
            title: page.texts.apiKey
            help: page.texts.apiKeyHelp
            ShellTextField {
                id: keyField
                secret: true
                accessibleName: page.texts.apiKey
                placeholderText: "sk-…"
                // Read from the keychain when the provider changes, written when editing ends.
                property string loadedFor: ""
                function load() { text = page.shell.model.apiKey(page.provider); loadedFor = page.provider }
                Component.onCompleted: load()
                Connections {
                    target: page.settings
                    function onSummaryProviderChanged() { keyField.load() }
                }
                onEditingFinished: if (loadedFor === page.provider) page.shell.model.setApiKey(page.provider, text)
            }
        }
        SettingRow {
            title: page.texts.model
            help: page.texts.modelHelp
            ShellTextField {
                id: modelField
                accessibleName: page.texts.model
                function load() { text = page.settings.summaryModelFor(page.provider) }
                Component.onCompleted: load()
                Connections {
                    target: page.settings
                    function onSummaryProviderChanged() { modelField.load() }
                    function onSummaryModelChanged(provider) { if (provider === page.provider && !modelField.activeFocus) modelField.load() }
                }
                onEditingFinished: page.settings.setSummaryModelFor(text, page.provider)
            }
        }
        SettingRow {
            id: urlRow
            visible: page.provider === "custom"
            title: page.texts.baseURL
            // Why the stored endpoint gets no requests (the key of its text), said where it is typed.
            property string problem: ""
            function check() { problem = page.shell.model.summaryEndpointProblem(page.settings.summaryBaseURLFor("custom")) }
            warning: problem !== ""
            help: warning ? page.texts[problem] : page.texts.baseURLHelp
            ShellTextField {
                id: urlField
                accessibleName: page.texts.baseURL
                placeholderText: "https://host/v1"
                function load() { text = page.settings.summaryBaseURLFor("custom") }
                Component.onCompleted: { load(); urlRow.check() }
                Connections {
                    target: page.settings
                    function onSummaryBaseURLChanged(provider) {
                        if (provider !== "custom") return
                        if (!urlField.activeFocus) urlField.load()
                        urlRow.check()
                    }
                }
                onEditingFinished: page.settings.setSummaryBaseURLFor(text, "custom")
            }
        }
    }
}
