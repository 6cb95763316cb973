import QtQuick
import Nubbo.Pet

// One agent session in the quick panel: what it is, what it does, its latest words, how long ago; and, while
// it waits on a permission request, the command and the same three answers as the card.
Rectangle {
    id: row

    required property string key
    required property string title
    required property string agentSymbol
    required property string sessionState
    required property string symbol
    required property string status
    required property string words
    required property string folder
    required property string ago
    required property bool waiting
    required property bool risky
    // Every request the session waits on, oldest first: {eventId, command, risky}.
    required property var requests

    property QuickPanelModel panelModel: null
    property SettingsStore settings: null
    property bool zh: false
    property color accent

    readonly property color tint: waiting ? (risky ? DesktopPalette.orange : DesktopPalette.blue)
                                : sessionState === "warning" ? DesktopPalette.orange
                                : sessionState === "success" ? DesktopPalette.accent("green")
                                : sessionState === "waitingInput" ? DesktopPalette.blue
                                : accent

    height: body.height + 20
    radius: 10
    color: waiting ? DesktopPalette.alpha(tint, DesktopPalette.dark ? 0.16 : 0.09)
                   : DesktopPalette.alpha(DesktopPalette.primary, hover.hovered ? 0.07 : 0.04)
    border.width: waiting ? 1 : 0
    border.color: DesktopPalette.alpha(tint, 0.28)

    Accessible.role: Accessible.ListItem
    Accessible.name: title
    Accessible.description: status

    HoverHandler { id: hover }

    // A click on the row, not on its buttons (declared later, so above this), goes to the session's terminal.
    MouseArea {
        objectName: "goToSessionRow"
        anchors.fill: parent
        cursorShape: Qt.PointingHandCursor
        onClicked: if (row.panelModel) row.panelModel.goToSession(row.key)
    }

    Rectangle {
        id: badge
        x: 10
        y: 10
        width: 28
        height: 28
        radius: 14
        color: DesktopPalette.alpha(row.tint, DesktopPalette.dark ? 0.24 : 0.15)
        SymbolIcon {
            anchors.centerIn: parent
            width: 16
            height: 16
            name: row.agentSymbol
            color: row.tint
            Accessible.ignored: true
        }
    }

    Column {
        id: body
        x: 48
        y: 10
        width: row.width - x - 10
        spacing: 3

        Item {
            width: parent.width
            height: titleText.height

            Text {
                id: titleText
                width: Math.min(implicitWidth, parent.width - agoText.width - 8)
                text: row.title
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 13
                font.weight: Font.DemiBold
                color: DesktopPalette.primary
                elide: Text.ElideRight
                textFormat: Text.PlainText
            }
            Text {
                objectName: "folder"
                anchors.left: titleText.right
                anchors.leftMargin: 6
                anchors.baseline: titleText.baseline
                width: Math.max(0, parent.width - titleText.width - agoText.width - 14)
                visible: row.folder !== ""
                text: row.folder
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 11
                color: DesktopPalette.secondary
                elide: Text.ElideMiddle
                textFormat: Text.PlainText
            }
            Text {
                id: agoText
                objectName: "ago"
                anchors.right: parent.right
                anchors.baseline: titleText.baseline
                text: row.ago
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 11
                color: DesktopPalette.secondary
                textFormat: Text.PlainText
            }
        }

        Item {
            width: parent.width
            height: statusText.height

            SymbolIcon {
                id: stateSymbol
                anchors.verticalCenter: parent.verticalCenter
                width: 12
                height: 12
                name: row.symbol
                color: statusText.color
                Accessible.ignored: true
            }
            Text {
                id: statusText
                objectName: "status"
                anchors.left: stateSymbol.right
                anchors.leftMargin: 5
                width: parent.width - stateSymbol.width - 5
                text: row.status
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 12
                font.weight: Font.Medium
                color: row.waiting ? row.tint : DesktopPalette.secondary
                elide: Text.ElideRight
                maximumLineCount: 1
                textFormat: Text.PlainText
            }
        }

        Text {
            objectName: "words"
            visible: row.words !== ""
            width: parent.width
            topPadding: 1
            text: row.words
            font.family: DesktopPalette.uiFontFamily
            font.pixelSize: 12
            color: DesktopPalette.primary
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
            lineHeight: 1.1
            textFormat: Text.PlainText
        }

        // Each waiting request with its own answers: a button answers the request it was drawn for.
        Repeater {
            model: row.requests
            // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
            // qmllint disable unqualified
            delegate: Column {
                id: request
                required property var modelData
                required property int index
                width: body.width
                spacing: 4
                topPadding: 4

                // New buttons, and buttons the rows moved, take clicks only after a moment (the model
                // checks again on its own clock).
                property bool armed: false
                Timer {
                    id: armDelay
                    interval: 500
                    running: true
                    onTriggered: request.armed = true
                }
                Connections {
                    target: row.panelModel
                    function onArmGenerationChanged() {
                        request.armed = false
                        armDelay.restart()
                    }
                }

                Rectangle {
                    objectName: "command"
                    width: parent.width
                    height: commandText.height + 14
                    radius: 7
                    color: DesktopPalette.alpha(request.modelData.risky ? DesktopPalette.orange : DesktopPalette.primary,
                                                request.modelData.risky ? 0.14 : 0.08)
                    Text {
                        id: commandText
                        x: 7
                        y: 7
                        width: parent.width - 14
                        text: request.modelData.command
                        font.family: DesktopPalette.monoFontFamily
                        font.pixelSize: 11
                        font.weight: Font.Medium
                        color: DesktopPalette.primary
                        wrapMode: Text.WrapAtWordBoundaryOrAnywhere
                        maximumLineCount: 12
                        elide: Text.ElideRight
                        textFormat: Text.PlainText
                    }
                }
                // A cut is always marked.
                Text {
                    objectName: "commandCut"
                    visible: commandText.truncated
                    width: parent.width
                    text: row.zh ? "命令较长，只显示了前 12 行" : "Only the first 12 lines of the command are shown"
                    font.family: DesktopPalette.uiFontFamily
                    font.pixelSize: 10
                    font.weight: Font.Medium
                    color: row.tint
                    textFormat: Text.PlainText
                }

                Row {
                    anchors.right: parent.right
                    spacing: 8
                    enabled: request.armed
                    opacity: enabled ? 1 : 0.5
                    Behavior on opacity { NumberAnimation { duration: 150 } }

                    CardButton {
                        text: row.zh ? "拒绝" : "Deny"
                        tint: DesktopPalette.red
                        Accessible.description: row.title
                        onClicked: if (row.panelModel) row.panelModel.answer(request.modelData.eventId, "deny")
                    }
                    CardButton {
                        text: row.zh ? "允许" : "Allow"
                        tint: row.accent
                        prominent: true
                        Accessible.description: row.title
                        onClicked: if (row.panelModel) row.panelModel.answer(request.modelData.eventId, "allow")
                    }
                    CardButton {
                        text: row.zh ? "全部允许" : "Allow All"
                        tint: DesktopPalette.blue
                        toolTip: row.settings ? row.settings.allowAllExplanation
                                              : row.zh ? "全部允许：普通命令以后不再询问（危险命令仍会问）"
                                                       : "Allow All: ordinary commands won't ask again (dangerous ones still will)."
                        onClicked: if (row.panelModel) row.panelModel.answer(request.modelData.eventId, "allowAll")
                    }
                }
            }
            // qmllint enable unqualified
        }
    }
}
