import QtQuick
import QtQuick.Layouts
import Nubbo.Shell

// The SSH hosts whose agents reach Nubbo: one row per host with its state and why, Remove on each, and a
// field with Add Host below them.
SettingsCard {
    id: card

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property RemoteHostsModel hosts: shell.model.remoteHosts
    readonly property var options: shell.model.options
    readonly property var stateTitles: options.remoteStateTitles

    title: texts.remoteHosts
    subtitle: texts.remoteHostsSubtitle
    symbol: "globe"

    function add() {
        hosts.add(field.text)
    }
    function remove(name) {
        shell.alert(hosts.removePrompt(name), () => hosts.remove(name))
    }

    // Follows the list: a host added from a terminal shows up here; the field empties once its host is added.
    Connections {
        target: card.hosts
        function onBusyChanged() {
            if (!card.hosts.busy && card.hosts.error === "")
                field.text = ""
        }
    }

    Text {
        visible: card.hosts.hosts.length === 0
        Layout.fillWidth: true
        topPadding: 4
        bottomPadding: 8
        text: card.texts.remoteHostsEmpty
        font.family: Theme.fontFamily
        font.pixelSize: Theme.helpSize
        color: Theme.secondaryText
    }

    // qmllint disable unqualified
    Repeater {
        model: card.hosts.hosts
        Item {
            id: row
            required property var modelData
            Layout.fillWidth: true
            implicitHeight: Math.max(names.implicitHeight, removeButton.height) + 20
            Accessible.role: Accessible.ListItem
            Accessible.name: modelData.name

            Rectangle {
                width: parent.width
                height: 1
                color: Theme.divider
            }
            Column {
                id: names
                y: 10
                width: parent.width - pill.width - removeButton.width - 28
                spacing: 2
                Text {
                    width: parent.width
                    text: row.modelData.name === row.modelData.destination
                          ? row.modelData.name : row.modelData.name + "  ·  " + row.modelData.destination
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.bodySize
                    font.weight: Font.Medium
                    color: Theme.text
                    elide: Text.ElideRight
                }
                Text {
                    visible: text !== ""
                    width: parent.width
                    text: row.modelData.reason
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.helpSize
                    color: Theme.secondaryText
                    wrapMode: Text.Wrap
                    maximumLineCount: 2
                    elide: Text.ElideRight
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            StatusPill {
                id: pill
                anchors.right: removeButton.left
                anchors.rightMargin: 12
                y: 10 + (Theme.controlHeight - height) / 2
                status: row.modelData.state
                title: card.stateTitles[row.modelData.state] || row.modelData.state
            }
            ShellButton {
                id: removeButton
                anchors.right: parent.right
                y: 10
                symbol: "xmark.circle"
                text: card.texts.remove
                enabled: !card.hosts.busy
                Accessible.name: card.texts.remove + " " + row.modelData.name
                onClicked: card.remove(row.modelData.name)
            }
        }
    }
    // qmllint enable unqualified

    Item {
        Layout.fillWidth: true
        implicitHeight: entry.height + (message.visible ? message.implicitHeight + 8 : 0) + 24
        Rectangle {
            width: parent.width
            height: 1
            color: Theme.divider
        }
        Row {
            id: entry
            y: 12
            width: parent.width
            spacing: 8
            ShellTextField {
                id: field
                width: parent.width - addButton.width - parent.spacing
                placeholderText: card.texts.remoteAddPlaceholder
                accessibleName: card.texts.remoteAdd
                enabled: !card.hosts.busy
                onAccepted: card.add()
            }
            ShellButton {
                id: addButton
                kind: "accent"
                symbol: "link"
                text: card.texts.remoteAdd
                enabled: !card.hosts.busy && field.text.trim() !== ""
                onClicked: card.add()
            }
        }
        Text {
            id: message
            visible: text !== ""
            y: entry.y + entry.height + 8
            width: parent.width
            text: card.hosts.busy ? card.texts.remoteBusy : card.hosts.error
            font.family: Theme.fontFamily
            font.pixelSize: Theme.helpSize
            color: card.hosts.busy ? Theme.secondaryText : Theme.orange
            wrapMode: Text.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
    }
}
