import QtQuick
import QtQuick.Templates as T

// A slider with its value written beside it ("1.25×"). Moving it emits moved() with the new value; the
// page writes the setting, which flows back into `value`.
Row {
    id: root

    property real from: 0
    property real to: 1
    property real stepSize: 0.05
    property real value: 0
    property string suffix: "×"
    property string accessibleName: ""
    signal moved(real value)

    spacing: 10

    T.Slider {
        id: slider
        width: 180
        height: Theme.controlHeight
        from: root.from
        to: root.to
        stepSize: root.stepSize
        snapMode: T.Slider.SnapAlways
        value: root.value
        focusPolicy: Qt.StrongFocus
        Accessible.role: Accessible.Slider
        Accessible.name: root.accessibleName
        onMoved: root.moved(value)
        // Dragging writes the handle's own value; afterwards it follows the setting again.
        onPressedChanged: if (!pressed) value = Qt.binding(() => root.value)

        background: Rectangle {
            x: slider.leftPadding
            y: slider.topPadding + slider.availableHeight / 2 - height / 2
            width: slider.availableWidth
            height: 4
            radius: 2
            color: Theme.track
            Rectangle {
                width: slider.visualPosition * parent.width
                height: parent.height
                radius: 2
                color: Theme.accent
            }
        }
        handle: Rectangle {
            x: slider.leftPadding + slider.visualPosition * (slider.availableWidth - width)
            y: slider.topPadding + slider.availableHeight / 2 - height / 2
            width: 18
            height: 18
            radius: 9
            color: "white"
            border.width: slider.visualFocus ? 2 : 1
            border.color: slider.visualFocus ? Theme.accent : Qt.rgba(0, 0, 0, 0.18)
        }
    }
    Text {
        width: 44
        anchors.verticalCenter: parent.verticalCenter
        text: root.value.toFixed(2) + root.suffix
        font.family: Theme.fontFamily
        font.pixelSize: Theme.bodySize
        color: Theme.secondaryText
        horizontalAlignment: Text.AlignRight
    }
}
