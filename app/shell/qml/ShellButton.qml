import QtQuick
import QtQuick.Templates as T
import Nubbo.Pet

// A push button with an optional symbol: "normal" on the control fill, "accent" filled with the accent,
// "destructive" with a red label. Its accessible name is its label.
T.Button {
    id: button

    property string symbol: ""
    property string kind: "normal"

    readonly property color labelColor: !enabled ? Theme.tertiaryText
                                       : kind === "accent" ? Theme.accentText
                                       : kind === "destructive" ? Theme.red : Theme.text

    implicitWidth: Math.max(72, contentItem.implicitWidth + leftPadding + rightPadding)
    implicitHeight: Theme.controlHeight
    leftPadding: 12
    rightPadding: 12
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    font.family: Theme.fontFamily
    font.pixelSize: Theme.bodySize
    font.weight: kind === "accent" ? Font.DemiBold : Font.Medium
    Accessible.role: Accessible.Button
    Accessible.name: text

    // Its ids make it immediate (not deferred), as it has always been built.
    contentItem: Item {  // qmllint disable deferred-property-id
        implicitWidth: label.implicitWidth
        implicitHeight: label.implicitHeight
        Row {
            id: label
            anchors.centerIn: parent
            spacing: 6
            SymbolIcon {
                visible: button.symbol !== ""
                name: button.symbol
                color: button.labelColor
                width: 15
                height: 15
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                text: button.text
                font: button.font
                color: button.labelColor
                textFormat: Text.PlainText
                anchors.verticalCenter: parent.verticalCenter
            }
        }
    }
    background: Rectangle {
        radius: Theme.controlRadius
        color: button.kind === "accent"
               ? (button.down ? Qt.darker(Theme.accent, 1.12) : button.hovered ? Qt.lighter(Theme.accent, 1.05) : Theme.accent)
               : (button.down ? Theme.controlBorder : button.hovered ? Theme.controlHover : Theme.control)
        opacity: button.enabled ? 1 : 0.6
        border.width: button.kind === "accent" ? 0 : 1
        border.color: button.visualFocus ? Theme.accent : Theme.controlBorder
    }
}
