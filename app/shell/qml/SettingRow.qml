import QtQuick
import QtQuick.Layouts
import Nubbo.Pet

// One row of a card: title and help line on the left, the control on the right, a hairline above.
Item {
    id: row

    property string title: ""
    property string help: ""
    // A row whose control needs the full width (an editor) puts it under the text.
    property bool stacked: false
    // A warning row leads with a warning symbol and says its help line in the warning colour.
    property bool warning: false
    default property alias control: slot.data

    Layout.fillWidth: true
    implicitHeight: (stacked ? text.implicitHeight + 10 + slot.childrenRect.height
                             : Math.max(text.implicitHeight, slot.childrenRect.height)) + 24

    Rectangle {
        width: parent.width
        height: 1
        color: Theme.divider
    }
    SymbolIcon {
        id: warningIcon
        visible: row.warning
        y: text.y + 1
        width: visible ? 16 : 0
        height: 16
        name: "exclamationmark.triangle.fill"
        color: Theme.orange
    }
    Column {
        id: text
        x: row.warning ? warningIcon.width + 8 : 0
        y: row.stacked ? 12 : (row.height - implicitHeight) / 2
        width: (row.stacked ? row.width : row.width - slot.childrenRect.width - 24) - x
        spacing: 3
        Text {
            width: parent.width
            text: row.title
            font.family: Theme.fontFamily
            font.pixelSize: Theme.bodySize
            font.weight: Font.Medium
            color: Theme.text
            wrapMode: Text.Wrap
        }
        Text {
            width: parent.width
            visible: text !== ""
            text: row.help
            font.family: Theme.fontFamily
            font.pixelSize: Theme.helpSize
            color: row.warning ? Theme.orange : Theme.secondaryText
            wrapMode: Text.Wrap
            lineHeight: 1.1
        }
    }
    Item {
        id: slot
        x: row.stacked ? 0 : row.width - childrenRect.width
        y: row.stacked ? text.y + text.implicitHeight + 10 : (row.height - childrenRect.height) / 2
        width: row.stacked ? row.width : childrenRect.width
        height: childrenRect.height
    }
}
