import QtQuick
import QtQuick.Templates as T

// An on/off switch in the accent colour. It shows `on`; a flip emits switched() and the page writes the
// setting, which flows back into `on` (so a reset or an import moves it too). Its accessible name is the
// row's title.
T.Switch {
    id: control

    property bool on: false
    property string accessibleName: ""
    signal switched(bool on)

    checked: on
    onToggled: {
        const wanted = checked
        switched(wanted)
        checked = Qt.binding(() => control.on)
    }

    implicitWidth: 38
    implicitHeight: 22
    padding: 0
    focusPolicy: Qt.StrongFocus
    Accessible.role: Accessible.CheckBox
    Accessible.name: accessibleName
    Accessible.checkable: true
    Accessible.checked: checked

    indicator: Rectangle {
        width: 38
        height: 22
        radius: 11
        anchors.verticalCenter: parent.verticalCenter
        color: control.checked ? Theme.accent : Theme.track
        opacity: control.enabled ? 1 : 0.45
        border.width: control.visualFocus ? 2 : 0
        border.color: Theme.accentSoft
        Behavior on color { ColorAnimation { duration: 120 } }

        Rectangle {
            width: 18
            height: 18
            radius: 9
            y: 2
            x: control.checked ? parent.width - width - 2 : 2
            color: "white"
            border.width: 1
            border.color: Qt.rgba(0, 0, 0, 0.08)
            Behavior on x { NumberAnimation { duration: 120; easing.type: Easing.OutCubic } }
        }
    }
    contentItem: Item {}
    background: Item {}
}
