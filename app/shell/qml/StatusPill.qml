import QtQuick

// An agent's status, or a remote host's, as a small rounded label, coloured by what it means.
Rectangle {
    id: pill

    property string status: "unknown"
    property string title: ""

    readonly property color tone: status === "running" ? Theme.green
                                 : status === "connected" ? Theme.accent
                                 : status === "notFound" || status === "unreachable" || status === "forwardRefused"
                                   ? Theme.orange : Theme.secondaryText

    implicitWidth: Math.max(64, label.implicitWidth + 18)
    implicitHeight: 20
    radius: 10
    color: Qt.rgba(tone.r, tone.g, tone.b, Theme.dark ? 0.2 : 0.12)
    Accessible.role: Accessible.StaticText
    Accessible.name: title

    Row {
        anchors.centerIn: parent
        spacing: 5
        Rectangle {
            width: 6
            height: 6
            radius: 3
            color: pill.tone
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            id: label
            text: pill.title
            font.family: Theme.fontFamily
            font.pixelSize: 11
            font.weight: Font.DemiBold
            color: Theme.dark ? Qt.lighter(pill.tone, 1.15) : Qt.darker(pill.tone, 1.1)
            anchors.verticalCenter: parent.verticalCenter
        }
    }
}
