import QtQuick
import Nubbo.Pet

// The sign that commands are being approved without asking: a disc, blue with a tick for Allow All, red with
// "!" for Ignore Risk, ringed in white and edged in dark so it reads over any wallpaper. It only draws:
// presses go through to whatever lies under it.
Item {
    id: badge

    // SettingsStore.approvalNotice (kind, title, ...); nothing shows while its kind is empty.
    property var notice: null
    property real diameter: 26

    readonly property string kind: notice && notice.kind ? notice.kind : ""
    readonly property bool shown: kind !== ""
    // Keeps its look while fading out, rather than turning blue as the kind empties.
    property string shownKind: "allowAll"
    onKindChanged: if (kind !== "") shownKind = kind
    Component.onCompleted: if (kind !== "") shownKind = kind
    readonly property color tint: shownKind === "ignoreRisk" ? DesktopPalette.red : DesktopPalette.blue

    width: diameter
    height: diameter

    opacity: shown ? 1 : 0
    scale: shown ? 1 : 0.6
    visible: opacity > 0
    Behavior on opacity { NumberAnimation { duration: 180; easing.type: Easing.OutQuad } }
    Behavior on scale { NumberAnimation { duration: 220; easing.type: Easing.OutBack } }

    Accessible.role: Accessible.Graphic
    Accessible.name: notice && notice.title ? notice.title : ""
    Accessible.ignored: !shown

    // Edge, white ring, fill: the edge separates the ring from a light desktop, the ring the fill from a
    // dark one.
    Rectangle {
        anchors.fill: parent
        radius: width / 2
        color: Qt.rgba(0, 0, 0, 0.4)
    }
    Rectangle {
        anchors.fill: parent
        anchors.margins: 1
        radius: width / 2
        color: "white"
    }
    Rectangle {
        objectName: "badgeFill"
        anchors.fill: parent
        anchors.margins: Math.max(2.5, badge.diameter * 0.1)
        radius: width / 2
        color: badge.tint

        SymbolIcon {
            anchors.centerIn: parent
            width: Math.round(parent.width * 0.8)
            height: width
            name: badge.shownKind === "ignoreRisk" ? "exclamationmark.heavy" : "checkmark.heavy"
            color: "white"
        }
    }
}
