import QtQuick
import Nubbo.Pet

// The quick panel's card: while Allow All or Ignore Risk is on a banner with the way back, a header, then one
// row per live agent session (QuickPanelModel), scrolling when there are more than fit. The window around it is exactly this item, its shadow margin included.
Item {
    id: root

    // QuickPanelModel and SettingsStore.
    property QuickPanelModel model: null
    property SettingsStore settings: null

    readonly property bool zh: settings ? settings.effectiveLanguage === "zh" : false
    readonly property color accent: DesktopPalette.accent(settings.themeColor)
    readonly property int shadowMargin: Math.ceil(background.margin)
    readonly property int cardWidth: 324
    readonly property int padding: 12
    readonly property real maximumListHeight: 460
    readonly property int sessionCount: model ? model.count : 0

    width: cardWidth + 2 * shadowMargin
    height: card.height + 2 * shadowMargin

    BubbleBackground {
        id: background
        anchors.fill: card
        anchors.margins: -margin
        tailWidth: 0
        tailHeight: 0
        radius: 14
        fillColor: DesktopPalette.material
        outlineColor: DesktopPalette.alpha(DesktopPalette.primary, 0.12)
        shadowColor: Qt.rgba(0, 0, 0, 0.22)
    }

    Item {
        id: card
        objectName: "quickPanelCard"
        x: root.shadowMargin
        y: root.shadowMargin
        width: root.cardWidth
        height: content.height + 2 * root.padding
        Accessible.role: Accessible.Pane
        Accessible.name: header.text

        Column {
            id: content
            x: root.padding
            y: root.padding
            width: parent.width - 2 * root.padding
            spacing: 10

            // While commands are approved without asking: what is on, and the way back in one click.
            Rectangle {
                id: banner
                objectName: "approvalBanner"
                readonly property var notice: root.settings ? root.settings.approvalNotice : null
                readonly property bool ignoreRisk: !!notice && notice.kind === "ignoreRisk"
                readonly property color tint: ignoreRisk ? DesktopPalette.red : DesktopPalette.blue
                visible: !!notice && notice.kind !== ""
                width: parent.width
                height: bannerText.height + 2 * bannerText.y
                radius: 9
                color: DesktopPalette.alpha(tint, DesktopPalette.dark ? 0.18 : 0.09)
                border.width: 1
                border.color: DesktopPalette.alpha(tint, DesktopPalette.dark ? 0.45 : 0.3)
                Accessible.role: Accessible.Pane
                Accessible.name: notice ? notice.title : ""

                ApprovalModeBadge {
                    id: bannerBadge
                    x: 9
                    y: 9
                    diameter: 22
                    notice: banner.notice
                    Accessible.ignored: true
                }
                Column {
                    id: bannerText
                    x: bannerBadge.x + bannerBadge.width + 9
                    y: 9
                    width: banner.width - x - 10
                    spacing: 3

                    Text {
                        width: parent.width
                        text: banner.notice ? banner.notice.title : ""
                        font.family: DesktopPalette.uiFontFamily
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                        color: DesktopPalette.primary
                        wrapMode: Text.Wrap
                        textFormat: Text.PlainText
                    }
                    Text {
                        width: parent.width
                        text: banner.notice ? banner.notice.detail : ""
                        font.family: DesktopPalette.uiFontFamily
                        font.pixelSize: 12
                        color: DesktopPalette.secondary
                        wrapMode: Text.Wrap
                        textFormat: Text.PlainText
                    }
                    Item { width: 1; height: 3 }
                    CardButton {
                        objectName: "approvalWayBack"
                        text: banner.notice ? banner.notice.wayBack : ""
                        tint: banner.tint
                        onClicked: {
                            if (!root.settings)
                                return
                            if (banner.ignoreRisk)
                                root.settings.turnOffIgnoreRisk()
                            else
                                root.settings.leaveAllowAll()
                        }
                    }
                }
            }

            Item {
                width: parent.width
                height: Math.max(header.height, countBadge.height)

                SymbolIcon {
                    id: paw
                    anchors.verticalCenter: parent.verticalCenter
                    x: 2
                    width: 15
                    height: 15
                    name: "pawprint.fill"
                    color: root.accent
                    Accessible.ignored: true
                }
                Text {
                    id: header
                    anchors.left: paw.right
                    anchors.leftMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    text: root.zh ? "代理会话" : "Agent sessions"
                    font.family: DesktopPalette.uiFontFamily
                    font.pixelSize: 14
                    font.weight: Font.DemiBold
                    color: DesktopPalette.primary
                    textFormat: Text.PlainText
                }
                Rectangle {
                    id: countBadge
                    objectName: "sessionCount"
                    visible: root.sessionCount > 0
                    anchors.left: header.right
                    anchors.leftMargin: 8
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.max(height, countText.implicitWidth + 12)
                    height: countText.implicitHeight + 4
                    radius: height / 2
                    color: DesktopPalette.alpha(DesktopPalette.secondary, 0.15)
                    Text {
                        id: countText
                        anchors.centerIn: parent
                        text: String(root.sessionCount)
                        font.family: DesktopPalette.uiFontFamily
                        font.pixelSize: 11
                        font.weight: Font.Bold
                        color: DesktopPalette.secondary
                        textFormat: Text.PlainText
                    }
                }
            }

            Flickable {
                id: list
                width: parent.width
                height: Math.min(rows.height, root.maximumListHeight)
                visible: root.sessionCount > 0
                contentHeight: rows.height
                interactive: rows.height > height
                clip: interactive
                boundsBehavior: Flickable.StopAtBounds

                Column {
                    id: rows
                    width: list.width
                    spacing: 6
                    Repeater {
                        model: root.model
                        // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
                        // qmllint disable unqualified
                        delegate: QuickPanelRow {
                            width: rows.width
                            panelModel: root.model
                            settings: root.settings
                            zh: root.zh
                            accent: root.accent
                        }
                        // qmllint enable unqualified
                    }
                }
            }

            Text {
                objectName: "emptyNote"
                visible: root.sessionCount === 0
                width: parent.width
                topPadding: 2
                bottomPadding: 4
                text: root.zh ? "现在没有代理在工作。" : "No agent is at work right now."
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 12
                color: DesktopPalette.secondary
                wrapMode: Text.WordWrap
                textFormat: Text.PlainText
            }
        }
    }
}
