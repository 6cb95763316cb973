import QtQuick
import QtQuick.Templates as T

// A row of mutually exclusive segments over a list of {value, title}; picking one emits chosen().
Rectangle {
    id: picker

    property var choices: []
    property var value
    property string accessibleName: ""
    signal chosen(var value)

    implicitWidth: segments.implicitWidth + 4
    implicitHeight: Theme.controlHeight
    radius: Theme.controlRadius + 1
    color: Theme.dark ? "#2f2f34" : "#e3e3e8"
    Accessible.role: Accessible.Grouping
    Accessible.name: accessibleName

    Row {
        id: segments
        x: 2
        y: 2
        spacing: 2
        // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
        // qmllint disable unqualified
        Repeater {
            model: picker.choices
            // Radio buttons for screen readers; the picker, not the button, decides which one is checked.
            T.RadioButton {
                id: segment
                required property var modelData
                readonly property bool selected: modelData.value === picker.value
                autoExclusive: false
                checked: selected
                implicitWidth: Math.max(64, label.implicitWidth + 24)
                implicitHeight: picker.height - 4
                hoverEnabled: true
                focusPolicy: Qt.StrongFocus
                Accessible.name: modelData.title
                onClicked: {
                    picker.chosen(modelData.value)
                    checked = Qt.binding(() => segment.selected)
                }
                indicator: null
                // Its ids make it immediate (not deferred), as it has always been built.
                contentItem: Text {  // qmllint disable deferred-property-id
                    id: label
                    text: segment.modelData.title
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.bodySize
                    font.weight: segment.selected ? Font.DemiBold : Font.Normal
                    color: segment.selected ? Theme.text : Theme.secondaryText
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                }
                background: Rectangle {
                    radius: Theme.controlRadius
                    color: segment.selected ? Theme.control : segment.hovered ? Qt.rgba(1, 1, 1, Theme.dark ? 0.05 : 0.4) : "transparent"
                    border.width: segment.selected || segment.visualFocus ? 1 : 0
                    border.color: segment.visualFocus ? Theme.accent : Theme.controlBorder
                }
            }
        }
        // qmllint enable unqualified
    }
}
