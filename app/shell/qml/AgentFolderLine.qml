import QtQuick

// Under an agent whose own variable moves its config folder: the folder in use with the ways to change it,
// the folder a running agent uses instead when there is one, and why the hooks could not move.
Item {
    id: line

    // {folder, custom, offer, offerLine, problem}, as the settings window's model gives it.
    property var folder: ({})
    property var texts: ({})
    property string title: ""
    signal change()
    signal useDefault()
    signal takeOffer()

    readonly property bool offered: (folder.offerLine || "") !== ""
    readonly property bool failed: (folder.problem || "") !== ""
    // Under the agent's name, past its symbol.
    readonly property int indent: 42

    implicitHeight: buttons.height + (offered ? offer.height + 8 : 0) + (failed ? problem.implicitHeight + 6 : 0) + 12

    Text {
        id: label
        x: line.indent
        anchors.verticalCenter: buttons.verticalCenter
        text: line.texts.configFolder
        font.family: Theme.fontFamily
        font.pixelSize: Theme.helpSize
        color: Theme.secondaryText
    }
    Text {
        id: path
        x: label.x + label.implicitWidth + 8
        width: Math.min(implicitWidth, buttons.x - x - 12 - (tag.visible ? tag.implicitWidth + 6 : 0))
        anchors.verticalCenter: buttons.verticalCenter
        text: line.folder.folder || ""
        font.family: Theme.monoFamily
        font.pixelSize: 11
        color: Theme.text
        elide: Text.ElideMiddle
        Accessible.role: Accessible.StaticText
        Accessible.name: line.texts.configFolder + " " + text + (tag.visible ? " " + tag.text : "")
    }
    Text {
        id: tag
        visible: line.folder.custom !== true
        x: path.x + path.width + 6
        anchors.verticalCenter: buttons.verticalCenter
        text: line.texts.defaultFolder
        font.family: Theme.fontFamily
        font.pixelSize: Theme.helpSize
        color: Theme.tertiaryText
    }
    Row {
        id: buttons
        anchors.right: parent.right
        spacing: 8
        ShellButton {
            visible: line.folder.custom === true
            text: line.texts.useDefaultFolder
            Accessible.name: line.title + ": " + text
            onClicked: line.useDefault()
        }
        ShellButton {
            text: line.texts.changeFolder
            Accessible.name: line.title + ": " + text
            onClicked: line.change()
        }
    }
    Rectangle {
        id: offer
        visible: line.offered
        x: line.indent
        y: buttons.height + 8
        width: parent.width - x
        height: Math.max(offerText.implicitHeight, takeButton.height) + 12
        radius: 8
        color: Theme.accentSoft
        Text {
            id: offerText
            x: 10
            width: takeButton.x - x - 10
            anchors.verticalCenter: parent.verticalCenter
            text: line.folder.offerLine || ""
            font.family: Theme.fontFamily
            font.pixelSize: Theme.helpSize
            color: Theme.text
            wrapMode: Text.Wrap
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }
        ShellButton {
            id: takeButton
            anchors.right: parent.right
            anchors.rightMargin: 6
            anchors.verticalCenter: parent.verticalCenter
            kind: "accent"
            text: line.texts.useThisFolder
            onClicked: line.takeOffer()
        }
    }
    Text {
        id: problem
        visible: line.failed
        x: line.indent
        y: buttons.height + (line.offered ? offer.height + 8 : 0) + 6
        width: parent.width - x
        text: line.folder.problem || ""
        font.family: Theme.fontFamily
        font.pixelSize: Theme.helpSize
        color: Theme.orange
        wrapMode: Text.Wrap
    }
}
