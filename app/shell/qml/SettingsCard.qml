import QtQuick
import QtQuick.Layouts
import Nubbo.Pet

// A card on a settings page: a header with symbol, title and subtitle, then its rows.
Rectangle {
    id: card

    property string title: ""
    property string subtitle: ""
    property string symbol: ""
    default property alias rows: body.data
    // Controls at the header's right end, for a card that is one action.
    property alias accessory: accessorySlot.data

    Layout.fillWidth: true
    implicitHeight: header.height + body.implicitHeight + 8
    radius: Theme.radius
    color: Theme.card
    border.width: 1
    border.color: Theme.cardBorder
    Accessible.role: Accessible.Grouping
    Accessible.name: title

    Item {
        id: header
        width: parent.width
        height: Math.max(icon.height, headerText.implicitHeight, accessorySlot.height) + 28
        Rectangle {
            id: icon
            visible: card.symbol !== ""
            x: 16
            anchors.verticalCenter: parent.verticalCenter
            width: 30
            height: 30
            radius: 8
            color: Theme.accentSoft
            SymbolIcon {
                anchors.centerIn: parent
                width: 17
                height: 17
                name: card.symbol
                color: Theme.accent
            }
        }
        Column {
            id: headerText
            x: icon.visible ? icon.x + icon.width + 12 : 16
            width: parent.width - x - 16 - (accessorySlot.width > 0 ? accessorySlot.width + 16 : 0)
            anchors.verticalCenter: parent.verticalCenter
            spacing: 2
            Text {
                width: parent.width
                text: card.title
                font.family: Theme.fontFamily
                font.pixelSize: Theme.titleSize
                font.weight: Font.DemiBold
                color: Theme.text
                wrapMode: Text.Wrap
            }
            Text {
                width: parent.width
                visible: text !== ""
                text: card.subtitle
                font.family: Theme.fontFamily
                font.pixelSize: Theme.helpSize
                color: Theme.secondaryText
                wrapMode: Text.Wrap
                lineHeight: 1.1
            }
        }
    }

    Item {
        id: accessorySlot
        parent: header
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        width: childrenRect.width
        height: childrenRect.height
    }

    ColumnLayout {
        id: body
        y: header.height
        x: 16
        width: parent.width - 32
        spacing: 0
    }
}
