import QtQuick
import QtQuick.Window
import QtQuick.Dialogs
import Nubbo.Pet
import Nubbo.Shell

// The three onboarding steps: welcome, the pet, the agents and the bridge. Every choice is written to the
// settings at once; Get Started only closes the window.
Window {
    id: window

    required property OnboardingModel model
    required property SettingsStore settings
    property PetArtInstaller petArt: null

    property int step: 0
    readonly property int stepCount: 3
    readonly property var texts: model.texts
    readonly property var options: model.options
    readonly property string source: settings.petSource

    width: 540
    height: 480
    minimumWidth: 540
    maximumWidth: 540
    minimumHeight: 480
    maximumHeight: 480
    // Titled, closable and minimisable, but neither resizable nor maximisable.
    flags: Qt.Window | Qt.CustomizeWindowHint | Qt.WindowTitleHint | Qt.WindowSystemMenuHint
           | Qt.WindowMinimizeButtonHint | Qt.WindowCloseButtonHint
    title: texts.onboardingWindowTitle
    color: Theme.window

    Binding { target: Theme; property: "themeColor"; value: window.settings.themeColor }

    function fileName(path) { return path.substring(path.lastIndexOf("/") + 1) }
    function report(result) {
        if (result && result.ok === false)
            alertDialog.show({ title: result.title, text: result.text, confirm: texts.ok, warning: true })
    }
    function install() {
        alertDialog.show(model.installPrompt(), () => {
            const result = model.install()
            if (!result.ok)
                alertDialog.show(result)
        })
    }

    AlertDialog {
        id: alertDialog
        iconSource: window.model.mascotUrl
    }
    FileDialog {
        id: imageDialog
        acceptLabel: window.texts.open
        rejectLabel: window.texts.cancel
        title: window.texts.chooseImage
        currentFolder: window.model.homeFolder
        nameFilters: ["Images (*.png *.jpg *.jpeg *.gif *.webp)"]
        onAccepted: if (window.petArt) window.report(window.petArt.installImage(selectedFile))
    }
    FileDialog {
        id: packDialog
        acceptLabel: window.texts.open
        rejectLabel: window.texts.cancel
        title: window.texts.importPack
        currentFolder: window.model.homeFolder
        nameFilters: ["Pet packs (*.zip *.nubbopack)"]
        onAccepted: if (window.petArt) window.report(window.petArt.importPack(selectedFile))
    }

    Item {
        id: content
        x: 36
        y: 28
        width: parent.width - 72
        height: bottomBar.y - y - 8

        // 1. Welcome
        Column {
            visible: window.step === 0
            width: parent.width
            anchors.verticalCenter: parent.verticalCenter
            spacing: 10
            Image {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 176
                height: 176
                source: window.model.mascotUrl
                sourceSize { width: 352; height: 352 }
                fillMode: Image.PreserveAspectFit
                smooth: true
                mipmap: true
                Accessible.role: Accessible.Graphic
                Accessible.name: window.texts.appName
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: window.texts.welcomeTitle
                font.family: Theme.fontFamily
                font.pixelSize: 24
                font.weight: Font.Bold
                color: Theme.text
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: window.texts.welcomeSubtitle
                font.family: Theme.fontFamily
                font.pixelSize: 15
                color: Theme.text
                wrapMode: Text.Wrap
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: window.texts.welcomeSteps
                font.family: Theme.fontFamily
                font.pixelSize: Theme.bodySize
                color: Theme.secondaryText
                wrapMode: Text.Wrap
            }
        }

        // 2. The pet
        Column {
            visible: window.step === 1
            width: parent.width
            spacing: 6
            Text {
                text: window.texts.selectPetTitle
                font.family: Theme.fontFamily
                font.pixelSize: 22
                font.weight: Font.Bold
                color: Theme.text
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Text {
                width: parent.width
                text: window.texts.selectPetSubtitle
                font.family: Theme.fontFamily
                font.pixelSize: Theme.bodySize
                color: Theme.secondaryText
                wrapMode: Text.Wrap
            }
            Item { width: 1; height: 14 }
            Row {
                width: parent.width
                spacing: 22
                PetPreview {
                    id: preview
                    width: 184
                    height: 184
                    settings: window.settings
                }
                Column {
                    width: parent.width - preview.width - 22
                    spacing: 8
                    Text {
                        text: window.texts.petSource
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.bodySize
                        font.weight: Font.Medium
                        color: Theme.text
                    }
                    Text {
                        width: parent.width
                        text: window.texts.petSourceHelp
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.helpSize
                        color: Theme.secondaryText
                        wrapMode: Text.Wrap
                    }
                    ChoicePicker {
                        width: parent.width
                        choices: window.options.petSource
                        value: window.source
                        accessibleName: window.texts.petSource
                        onChosen: v => window.settings.petSource = v
                    }
                    Item { width: 1; height: 6 }
                    Text {
                        width: parent.width
                        text: window.source === "official" ? window.options.petSource[0].title
                              : window.source === "custom"
                                ? (window.settings.customPetPath !== "" ? window.fileName(window.settings.customPetPath) : window.texts.noPetPicture)
                                : (window.settings.activePackPath !== "" ? window.fileName(window.settings.activePackPath) : window.texts.noPackImported)
                        font.family: Theme.fontFamily
                        font.pixelSize: window.source === "official" ? Theme.titleSize : Theme.bodySize
                        font.weight: window.source === "official" ? Font.DemiBold : Font.Normal
                        color: window.source === "official" ? Theme.text : Theme.secondaryText
                        elide: Text.ElideMiddle
                    }
                    ShellButton {
                        visible: window.source === "custom"
                        symbol: "photo"
                        text: window.texts.chooseImage
                        onClicked: imageDialog.open()
                    }
                    ShellButton {
                        visible: window.source === "pack"
                            symbol: "shippingbox"
                        text: window.texts.importPack
                        onClicked: packDialog.open()
                    }
                }
            }
        }

        // 3. The agents and the bridge
        Column {
            visible: window.step === 2
            width: parent.width
            spacing: 6
            Text {
                text: window.texts.agentSetupTitle
                font.family: Theme.fontFamily
                font.pixelSize: 22
                font.weight: Font.Bold
                color: Theme.text
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            Text {
                width: parent.width
                text: window.texts.agentSetupSubtitle
                font.family: Theme.fontFamily
                font.pixelSize: Theme.bodySize
                color: Theme.secondaryText
                wrapMode: Text.Wrap
            }
            Item { width: 1; height: 8 }
            Rectangle {
                width: parent.width
                height: agentRows.implicitHeight + 4
                radius: Theme.radius
                color: Theme.card
                border.width: 1
                border.color: Theme.cardBorder
                Column {
                    id: agentRows
                    x: 14
                    y: 2
                    width: parent.width - 28
                    // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
                    // qmllint disable unqualified
                    Repeater {
                        model: window.model.agents
                        AgentRow {
                            required property var modelData
                            required property int index
                            width: agentRows.width
                            compact: true
                            divider: index > 0
                            agentId: modelData.id
                            title: modelData.title
                            symbol: modelData.symbol
                            enabledFlag: window.settings.enabled[modelData.id] === true
                            status: window.model.statuses[modelData.id] || "unknown"
                            statusTitle: window.options.statusTitles[status]
                            onToggled: on => window.settings.setEnabled(modelData.id, on)
                        }
                    }
                    // qmllint enable unqualified
                }
            }
            Item { width: 1; height: 6 }
            Row {
                width: parent.width
                spacing: 10
                SymbolIcon {
                    width: 20
                    height: 20
                    name: window.model.bridgeInstalled ? "checkmark.circle.fill" : "info.circle.fill"
                    color: window.model.bridgeInstalled ? Theme.green : Theme.secondaryText
                }
                Column {
                    width: parent.width - 30
                    spacing: 2
                    Text {
                        visible: window.model.bridgeInstalled
                        text: window.texts.bridgeInstalled
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.bodySize
                        font.weight: Font.DemiBold
                        color: Theme.text
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    Text {
                        width: parent.width
                        text: window.model.bridgeInstalled ? window.texts.onboardingBridgeInstalledText
                                                           : window.texts.onboardingBridgeMissingText
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.helpSize
                        color: Theme.secondaryText
                        wrapMode: Text.Wrap
                    }
                }
            }
            Item { width: 1; height: 4 }
            Row {
                spacing: 8
                ShellButton {
                    symbol: "arrow.clockwise"
                    text: window.texts.runDetection
                    onClicked: window.model.runDetection()
                }
                ShellButton {
                    kind: window.model.bridgeInstalled ? "normal" : "accent"
                    symbol: "link"
                    text: window.texts.installBridge
                    onClicked: window.install()
                }
            }
        }
    }

    // The step indicator and the buttons.
    Item {
        id: bottomBar
        width: parent.width
        height: 60
        y: parent.height - height
        Rectangle {
            width: parent.width
            height: 1
            color: Theme.divider
        }
        Row {
            x: 36
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
            Accessible.role: Accessible.Indicator
            Accessible.name: window.texts.stepOf.arg(window.step + 1).arg(window.stepCount)
            // qmllint disable unqualified
            Repeater {
                model: window.stepCount
                Rectangle {
                    required property int index
                    width: index === window.step ? 22 : 8
                    height: 8
                    radius: 4
                    color: index === window.step ? Theme.accent : Theme.track
                    Behavior on width { NumberAnimation { duration: 150 } }
                }
            }
            // qmllint enable unqualified
        }
        Row {
            anchors.right: parent.right
            anchors.rightMargin: 36
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
            ShellButton {
                visible: window.step > 0
                text: window.texts.back
                onClicked: window.step -= 1
            }
            ShellButton {
                kind: "accent"
                text: window.step < window.stepCount - 1 ? window.texts.next : window.texts.getStarted
                onClicked: {
                    if (window.step < window.stepCount - 1)
                        window.step += 1
                    else
                        window.model.complete()
                }
            }
        }
    }
}
