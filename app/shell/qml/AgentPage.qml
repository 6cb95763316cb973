import QtQuick
import QtQuick.Dialogs
import QtQuick.Layouts
import Nubbo.Pet
import Nubbo.Shell

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property var options: shell.model.options
    readonly property SettingsWindowModel model: shell.model
    readonly property SettingsStore settings: shell.settings

    spacing: 16

    function install() {
        shell.alert(model.installPrompt(), () => {
            const result = model.install()
            if (!result.ok)
                shell.alert(result)
        })
    }
    function remove() {
        shell.alert(model.removePrompt(), () => {
            const result = model.remove()
            if (!result.ok)
                shell.alert(result)
        })
    }
    function report(result) {
        if (!result.ok)
            shell.alert(result)
    }

    FolderDialog {
        id: folderDialog
        // The agent whose folder is being chosen.
        property string agentId: ""
        title: page.texts.chooseConfigFolder
        acceptLabel: page.texts.open
        rejectLabel: page.texts.cancel
        onAccepted: page.report(page.model.chooseConfigFolder(agentId, selectedFolder))
    }

    SettingsCard {
        title: page.texts.agentBridge
        subtitle: page.texts.agentBridgeSubtitle
        symbol: "link"

        // Where the bridge reaches the app.
        Item {
            Layout.fillWidth: true
            implicitHeight: socket.implicitHeight + 20
            Rectangle {
                width: parent.width
                height: 1
                color: Theme.divider
            }
            Text {
                id: socket
                y: 10
                width: parent.width
                text: page.model.socketLine
                font.family: Theme.monoFamily
                font.pixelSize: 11
                color: Theme.secondaryText
                elide: Text.ElideMiddle
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
        }

        // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
        // qmllint disable unqualified
        Repeater {
            model: page.model.agents
            ColumnLayout {
                id: agent
                required property var modelData
                readonly property bool on: page.settings.enabled[modelData.id] === true
                Layout.fillWidth: true
                spacing: 0
                AgentRow {
                    Layout.fillWidth: true
                    agentId: agent.modelData.id
                    title: agent.modelData.title
                    symbol: agent.modelData.symbol
                    enabledFlag: agent.on
                    status: page.model.statuses[agent.modelData.id] || "unknown"
                    statusTitle: page.options.statusTitles[status]
                    hint: agent.modelData.id === "codex" ? page.model.codexHint : ""
                    onToggled: on => page.settings.setEnabled(agent.modelData.id, on)
                }
                // Only a switched-on agent is wired, so only its folder matters.
                AgentFolderLine {
                    visible: agent.on && agent.modelData.folderVariable !== ""
                    Layout.fillWidth: true
                    folder: page.model.folders[agent.modelData.id] || ({})
                    texts: page.texts
                    title: agent.modelData.title
                    onChange: {
                        folderDialog.agentId = agent.modelData.id
                        folderDialog.currentFolder = page.model.configFolderUrl(agent.modelData.id)
                        folderDialog.open()
                    }
                    onUseDefault: page.report(page.model.useDefaultConfigFolder(agent.modelData.id))
                    onTakeOffer: page.report(page.model.takeOfferedFolder(agent.modelData.id))
                }
            }
        }
        // qmllint enable unqualified

        // The bridge's state and the two actions.
        Item {
            Layout.fillWidth: true
            implicitHeight: 76
            Rectangle {
                width: parent.width
                height: 1
                color: Theme.divider
            }
            SymbolIcon {
                id: stateIcon
                y: 16
                width: 22
                height: 22
                name: page.model.bridgeInstalled ? "checkmark.circle.fill" : "exclamationmark.circle.fill"
                color: page.model.bridgeInstalled ? Theme.green : Theme.orange
            }
            Column {
                x: stateIcon.width + 10
                y: 14
                width: parent.width - x - actions.width - 12
                spacing: 2
                Text {
                    text: page.model.bridgeInstalled ? page.texts.bridgeInstalled : page.texts.bridgeMissing
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.bodySize
                    font.weight: Font.DemiBold
                    color: Theme.text
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Text {
                    width: parent.width
                    text: page.model.bridgeInstalled ? page.texts.bridgeInstalledText : page.texts.bridgeMissingText
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.helpSize
                    color: Theme.secondaryText
                    wrapMode: Text.Wrap
                }
            }
            Row {
                id: actions
                anchors.right: parent.right
                y: 16
                spacing: 8
                ShellButton {
                    symbol: "xmark.circle"
                    text: page.texts.removeBridge
                    onClicked: page.remove()
                }
                ShellButton {
                    kind: "accent"
                    symbol: "link"
                    text: page.texts.installBridge
                    onClicked: page.install()
                }
            }
        }
    }

    RemoteHostsCard {
        shell: page.shell
    }
}
