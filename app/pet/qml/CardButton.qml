import QtQuick
import QtQuick.Controls.Basic as Controls
import Nubbo.Pet

// A small card button: "bordered" is a tinted fill with a tinted label, "prominent" a solid fill with a white
// label. Its accessible name is its label, so a screen reader (and the desktop tests) find it by that.
Controls.Button {
    id: button

    property color tint: DesktopPalette.blue
    property bool prominent: false
    property string toolTip: ""

    // The label's own width, for rows that share out their space.
    readonly property real labelWidth: contentItem.implicitWidth

    implicitHeight: 22
    horizontalPadding: 9
    topPadding: 0
    bottomPadding: 0
    hoverEnabled: true
    focusPolicy: Qt.NoFocus
    font.family: DesktopPalette.uiFontFamily
    font.pixelSize: 12
    font.weight: Font.DemiBold

    Accessible.role: Accessible.Button
    Accessible.name: text
    Accessible.description: toolTip

    Controls.ToolTip.visible: toolTip !== "" && hovered
    Controls.ToolTip.delay: 600
    Controls.ToolTip.text: toolTip

    contentItem: Text {
        text: button.text
        font: button.font
        color: button.prominent ? "white" : button.tint
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        textFormat: Text.PlainText
    }
    background: Rectangle {
        implicitWidth: 36
        radius: 6
        color: {
            if (button.prominent)
                return button.down ? Qt.darker(button.tint, 1.15) : button.hovered ? Qt.lighter(button.tint, 1.06)
                                                                                   : button.tint
            const strength = (DesktopPalette.dark ? 0.2 : 0.13) + (button.down ? 0.1 : button.hovered ? 0.05 : 0)
            return DesktopPalette.alpha(button.tint, strength)
        }
        border.width: button.prominent ? 0 : 1
        border.color: DesktopPalette.alpha(button.tint, DesktopPalette.dark ? 0.3 : 0.22)
    }
}
