import QtQuick
import Nubbo.Pet

// One agent: its symbol and name, its status pill and its switch; a hint under it when the agent needs
// something from the user.
Item {
    id: row

    property string agentId: ""
    property string title: ""
    property string symbol: ""
    property bool enabledFlag: false
    property string status: "unknown"
    property string statusTitle: ""
    property string hint: ""
    // The onboarding's tighter list; the first row of a list has no hairline above it.
    property bool compact: false
    property bool divider: true
    signal toggled(bool on)

    implicitHeight: badge.height + (hintText.visible ? hintText.implicitHeight + 6 : 0) + (compact ? 12 : 18)
    Accessible.role: Accessible.ListItem
    Accessible.name: title

    Rectangle {
        visible: row.divider
        width: parent.width
        height: 1
        color: Theme.divider
    }
    Rectangle {
        id: badge
        y: row.compact ? 6 : 9
        width: row.compact ? 28 : 30
        height: width
        radius: 8
        color: Theme.dark ? "#35353a" : "#f0f0f4"
        SymbolIcon {
            anchors.centerIn: parent
            width: 17
            height: 17
            name: row.symbol
            color: row.enabledFlag ? Theme.text : Theme.tertiaryText
        }
    }
    Text {
        id: name
        x: badge.width + 12
        anchors.verticalCenter: badge.verticalCenter
        text: row.title
        font.family: Theme.fontFamily
        font.pixelSize: Theme.bodySize
        font.weight: Font.Medium
        color: row.enabledFlag ? Theme.text : Theme.secondaryText
    }
    StatusPill {
        anchors.right: toggle.left
        anchors.rightMargin: 14
        anchors.verticalCenter: badge.verticalCenter
        status: row.status
        title: row.statusTitle
    }
    ToggleSwitch {
        id: toggle
        anchors.right: parent.right
        anchors.verticalCenter: badge.verticalCenter
        on: row.enabledFlag
        accessibleName: row.title
        onSwitched: on => row.toggled(on)
    }
    Text {
        id: hintText
        visible: row.hint !== ""
        x: name.x
        y: badge.y + badge.height + 6
        width: parent.width - x
        text: row.hint
        font.family: Theme.fontFamily
        font.pixelSize: Theme.helpSize
        color: Theme.orange
        wrapMode: Text.Wrap
    }
}
