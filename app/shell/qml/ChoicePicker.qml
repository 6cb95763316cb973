import QtQuick
import QtQuick.Templates as T
import Nubbo.Pet

// A drop-down over a list of {value, title}. `value` shows the current choice; picking one emits chosen()
// and the page writes the setting, which flows back into `value`.
T.ComboBox {
    id: control

    property var choices: []
    property var value
    property string accessibleName: ""
    signal chosen(var value)

    function indexOf(v) {
        for (let i = 0; i < choices.length; ++i)
            if (choices[i].value === v)
                return i
        return -1
    }

    model: choices
    textRole: "title"
    valueRole: "value"
    currentIndex: indexOf(value)
    onActivated: index => {
        chosen(choices[index].value)
        currentIndex = Qt.binding(() => indexOf(value))
    }

    implicitWidth: 200
    implicitHeight: Theme.controlHeight
    leftPadding: 10
    rightPadding: 30
    hoverEnabled: true
    font.family: Theme.fontFamily
    font.pixelSize: Theme.bodySize
    Accessible.role: Accessible.ComboBox
    Accessible.name: accessibleName

    contentItem: Text {
        text: control.displayText
        font: control.font
        color: control.enabled ? Theme.text : Theme.tertiaryText
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        textFormat: Text.PlainText
    }
    indicator: SymbolIcon {
        name: "chevron.down"
        color: Theme.secondaryText
        width: 14
        height: 14
        x: control.width - width - 10
        anchors.verticalCenter: parent.verticalCenter
    }
    background: Rectangle {
        radius: Theme.controlRadius
        color: control.hovered ? Theme.controlHover : Theme.control
        border.width: 1
        border.color: control.visualFocus || control.popup.visible ? Theme.accent : Theme.controlBorder
    }

    // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
    // qmllint disable unqualified
    delegate: T.ItemDelegate {
        id: row
        required property int index
        required property var modelData
        width: ListView.view ? ListView.view.width : control.width
        implicitHeight: 28
        leftPadding: 28
        rightPadding: 10
        highlighted: control.highlightedIndex === index
        hoverEnabled: true
        Accessible.role: Accessible.ListItem
        Accessible.name: modelData.title
        contentItem: Text {
            text: row.modelData.title
            font: control.font
            color: row.highlighted ? Theme.accentText : Theme.text
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }
        background: Rectangle {
            radius: 5
            color: row.highlighted ? Theme.accent : "transparent"
            SymbolIcon {
                visible: control.currentIndex === row.index
                name: "checkmark"
                color: row.highlighted ? Theme.accentText : Theme.accent
                width: 14
                height: 14
                x: 8
                anchors.verticalCenter: parent.verticalCenter
            }
        }
    }
    // qmllint enable unqualified

    popup: T.Popup {
        y: control.height + 4
        width: Math.max(control.width, 160)
        implicitHeight: Math.min(contentItem.implicitHeight + 12, 320)
        padding: 6
        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex
            boundsBehavior: Flickable.StopAtBounds
        }
        background: Rectangle {
            radius: 8
            color: Theme.card
            border.width: 1
            border.color: Theme.controlBorder
            Rectangle {
                z: -1
                anchors.fill: parent
                anchors.margins: -2
                radius: 10
                color: "transparent"
                border.width: 2
                border.color: Qt.rgba(0, 0, 0, Theme.dark ? 0.35 : 0.06)
            }
        }
    }
}
