import QtQuick
import QtQuick.Layouts

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts

    spacing: 16

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: about.implicitHeight + 56
        radius: Theme.radius
        color: Theme.card
        border.width: 1
        border.color: Theme.cardBorder

        Column {
            id: about
            anchors.centerIn: parent
            width: parent.width - 64
            spacing: 8
            Image {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 180
                height: 180
                source: page.shell.model.mascotUrl
                sourceSize { width: 360; height: 360 }
                fillMode: Image.PreserveAspectFit
                smooth: true
                mipmap: true
                Accessible.role: Accessible.Graphic
                Accessible.name: page.texts.appName
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: page.texts.appName
                font.family: Theme.fontFamily
                font.pixelSize: 24
                font.weight: Font.Bold
                color: Theme.text
            }
            Text {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: page.texts.aboutTagline
                font.family: Theme.fontFamily
                font.pixelSize: Theme.titleSize
                font.weight: Font.Medium
                color: Theme.text
            }
            Rectangle {
                anchors.horizontalCenter: parent.horizontalCenter
                width: version.implicitWidth + 20
                height: 22
                radius: 11
                color: Theme.accentSoft
                Text {
                    id: version
                    anchors.centerIn: parent
                    text: page.texts.version
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.helpSize
                    font.weight: Font.DemiBold
                    color: Theme.accent
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
            }
            Text {
                width: parent.width
                topPadding: 4
                horizontalAlignment: Text.AlignHCenter
                text: page.texts.aboutText
                font.family: Theme.fontFamily
                font.pixelSize: Theme.bodySize
                color: Theme.secondaryText
                wrapMode: Text.Wrap
            }
        }
    }
}
