import QtQuick
import QtQuick.Templates as T
import Nubbo.Pet

// The settings window's left column: the logo, the product name and "Settings", then the categories with
// their symbols; one is selected at a time.
Rectangle {
    id: sidebar

    property var categories: []
    property string current: ""
    property url logoUrl
    property string appName: ""
    property string subtitle: ""
    signal picked(string id)

    color: Theme.sidebar

    function step(delta) {
        let index = 0
        for (let i = 0; i < categories.length; ++i)
            if (categories[i].id === current)
                index = i
        const next = Math.max(0, Math.min(categories.length - 1, index + delta))
        picked(categories[next].id)
    }

    Rectangle {
        anchors.right: parent.right
        width: 1
        height: parent.height
        color: Theme.divider
    }

    Row {
        id: brand
        x: 18
        y: 22
        spacing: 10
        Image {
            width: 40
            height: 40
            source: sidebar.logoUrl
            sourceSize { width: 80; height: 80 }
            smooth: true
            mipmap: true
            Accessible.ignored: true
        }
        Column {
            anchors.verticalCenter: parent.verticalCenter
            spacing: 1
            Text {
                text: sidebar.appName
                font.family: Theme.fontFamily
                font.pixelSize: 16
                font.weight: Font.Bold
                color: Theme.text
            }
            Text {
                text: sidebar.subtitle
                font.family: Theme.fontFamily
                font.pixelSize: Theme.helpSize
                color: Theme.secondaryText
            }
        }
    }

    Column {
        id: list
        x: 10
        y: brand.y + brand.height + 20
        width: parent.width - 20
        spacing: 2
        focus: true
        Accessible.role: Accessible.List
        Keys.onUpPressed: sidebar.step(-1)
        Keys.onDownPressed: sidebar.step(1)

        // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
        // qmllint disable unqualified
        Repeater {
            model: sidebar.categories
            T.ItemDelegate {
                id: entry
                required property var modelData
                readonly property bool selected: modelData.id === sidebar.current
                width: list.width
                height: 32
                hoverEnabled: true
                focusPolicy: Qt.NoFocus
                Accessible.role: Accessible.ListItem
                Accessible.name: modelData.title
                Accessible.selected: selected
                onClicked: sidebar.picked(modelData.id)

                background: Rectangle {
                    radius: 7
                    color: entry.selected ? Theme.accent
                           : entry.hovered ? (Theme.dark ? Qt.rgba(1, 1, 1, 0.06) : Qt.rgba(0, 0, 0, 0.05)) : "transparent"
                }
                contentItem: Row {
                    leftPadding: 10
                    spacing: 10
                    SymbolIcon {
                        width: 16
                        height: 16
                        anchors.verticalCenter: parent.verticalCenter
                        name: entry.modelData.symbol
                        color: entry.selected ? Theme.accentText : Theme.accent
                    }
                    Text {
                        anchors.verticalCenter: parent.verticalCenter
                        text: entry.modelData.title
                        font.family: Theme.fontFamily
                        font.pixelSize: Theme.bodySize
                        font.weight: entry.selected ? Font.DemiBold : Font.Normal
                        color: entry.selected ? Theme.accentText : Theme.text
                    }
                }
            }
        }
        // qmllint enable unqualified
    }
}
