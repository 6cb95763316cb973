import QtQuick
import Nubbo.Pet

// One shown bubble: a message, an agent's narration or an approval card, on the card-and-tail background.
// Its content is handed over, not bound, so a card that is leaving keeps showing what it showed.
Item {
    id: card

    property string identity
    property var content: ({ kind: "message", text: "" })
    property PetViewModel viewModel: null
    property SettingsStore settings: null
    property color accent
    property real fadeSeconds: 0.3

    readonly property string kind: content && content.kind ? content.kind : "message"
    readonly property string style: settings ? settings.bubbleStyle : ""
    readonly property bool zh: settings ? settings.effectiveLanguage === "zh" : false
    readonly property real horizontalPadding: style === "compact" ? 12 : 15
    readonly property real verticalPadding: style === "compact" ? 9 : 12
    readonly property real maximumWidth: style === "compact" ? 188 : style === "large" ? 252 : 220
    readonly property real messageSize: style === "compact" ? 12 : style === "large" ? 14 : 13
    readonly property real narrationSize: messageSize + 1
    readonly property real innerWidth: maximumWidth - 2 * horizontalPadding
    readonly property real tailHeight: 11
    readonly property Item body: bodyLoader
    // Spoken for a session: a click on the title line (a card's first line, the whole of a message or a
    // narration) goes to that session's terminal.
    readonly property bool goesToSession: !!(content && content.sessionKey)

    // Transition progress: 0 entering from the left, 1 settled, 2 gone to the right.
    property real phase: 1
    function enter(seconds) { motion.stop(); phase = 0; motion.to = 1; motion.duration = seconds * 1000; motion.start() }
    function leave(seconds) { motion.stop(); motion.to = 2; motion.duration = seconds * 1000; leaving = true; motion.start() }
    property bool leaving: false
    // A card on its way out answers nothing: its buttons would act on whatever the pet holds now.
    enabled: !leaving

    width: Math.ceil(body.width + 2 * horizontalPadding)
    height: Math.ceil(body.height + 2 * verticalPadding + tailHeight)
    opacity: phase <= 1 ? phase : 2 - phase
    transform: [
        Scale {
            origin.x: card.width / 2
            origin.y: card.height
            xScale: card.phase < 1 ? 0.9 + 0.1 * card.phase : 1
            yScale: xScale
        },
        Translate {
            x: card.phase < 1 ? -60 * (1 - card.phase) : 60 * (card.phase - 1)
            y: card.phase < 1 ? 12 * (1 - card.phase) : 12 * (card.phase - 1)
        }
    ]
    Accessible.role: kind === "approval" ? Accessible.AlertMessage : Accessible.Client
    Accessible.name: kind === "approval" ? (content.title || "") : kind === "narration" ? (content.agentWords || "")
                                                                                        : (content.text || "")

    NumberAnimation {
        id: motion
        target: card
        property: "phase"
        easing.type: Easing.InOutQuad
        onFinished: {
            if (card.leaving) {
                card.destroy()
            } else if (card.kind === "approval") {
                // At rest: the buttons count from now (the view model checks on its own clock), and show
                // it a moment later.
                if (card.viewModel)
                    card.viewModel.cardAtRest(card.content.id || "")
                armDelay.restart()
            }
        }
    }

    // Whether the card's buttons take clicks: only once it has rested on screen for a moment, so a click
    // meant for what was there before never lands on a button that just arrived.
    property bool armed: false
    Timer {
        id: armDelay
        interval: 500
        onTriggered: card.armed = true
    }

    BubbleBackground {
        id: background
        anchors.fill: parent
        anchors.margins: -margin
        tailHeight: card.tailHeight
        fillColor: DesktopPalette.material
        outlineColor: DesktopPalette.alpha(DesktopPalette.primary, 0.12)
        shadowColor: Qt.rgba(0, 0, 0, 0.22)
    }

    // One layout per kind; a card's kind never changes, its identity includes it.
    Loader {
        id: bodyLoader
        x: card.horizontalPadding
        y: card.verticalPadding
        sourceComponent: card.kind === "narration" ? narrationBody : card.kind === "approval" ? approvalBody
                                                                                            : messageBody
    }

    MouseArea {
        objectName: "goToSessionArea"
        anchors.fill: bodyLoader
        visible: card.goesToSession && card.kind !== "approval"
        cursorShape: Qt.PointingHandCursor
        onClicked: if (card.viewModel) card.viewModel.goToSession()
    }

    // --- message: the activity symbol, then up to four lines.
    // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
    // qmllint disable unqualified
    Component {
        id: messageBody
        Row {
            id: message
            spacing: 6
            readonly property string icon: card.viewModel ? card.viewModel.activityIcon : ""

            SymbolIcon {
                visible: message.icon !== ""
                width: card.messageSize + 1
                height: width
                y: Math.max(0, (messageMetrics.height - height) / 2) + 1
                name: message.icon
                color: DesktopPalette.secondary
                Accessible.ignored: true
            }
            CrossFadeText {
                id: messageText
                width: Math.min(naturalWidth, card.innerWidth - (message.icon !== "" ? card.messageSize + 7 : 0))
                text: card.content.text || ""
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: card.messageSize
                font.weight: Font.Medium
                color: DesktopPalette.primary
                maximumLineCount: 4
                fadeSeconds: card.fadeSeconds
            }
            FontMetrics { id: messageMetrics; font: messageText.font }
        }
    }
    // qmllint enable unqualified

    // --- narration: activity label, the agent's words, the provider chip.
    // qmllint disable unqualified
    Component {
        id: narrationBody
        Column {
            width: card.innerWidth
            spacing: 4

            Text {
                objectName: "activityLabel"
                visible: card.settings && card.settings.showActivityLabel && !!card.content.activity
                width: parent.width
                text: card.content.activity || ""
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 12
                font.weight: Font.Medium
                color: DesktopPalette.secondary
                elide: Text.ElideRight
                maximumLineCount: 1
                textFormat: Text.PlainText
            }
            CrossFadeText {
                width: parent.width
                text: card.content.agentWords || ""
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: card.narrationSize
                font.weight: Font.DemiBold
                color: DesktopPalette.primary
                maximumLineCount: 5
                fadeSeconds: card.fadeSeconds
            }
            Item {
                // A little air above the chip, which the column's spacing alone leaves too tight.
                width: 1
                height: 2
                visible: chip.visible
            }
            Rectangle {
                id: chip
                objectName: "providerChip"
                visible: card.settings && card.settings.showProviderChip && !!card.content.provider
                width: chipText.implicitWidth + 14
                height: chipText.implicitHeight + 4
                radius: height / 2
                color: DesktopPalette.alpha(DesktopPalette.secondary, 0.15)
                Text {
                    id: chipText
                    anchors.centerIn: parent
                    text: card.content.providerTitle || ""
                    font.family: DesktopPalette.uiFontFamily
                    font.pixelSize: 10
                    font.weight: Font.Bold
                    color: DesktopPalette.secondary
                    textFormat: Text.PlainText
                }
            }
        }
    }
    // qmllint enable unqualified

    // --- approval: what asks, what it wants to run, and the answers.
    // qmllint disable unqualified
    Component {
        id: approvalBody
        Column {
            id: approval
            width: card.innerWidth
            spacing: 8
            readonly property bool risky: card.content.risk === "risky"
            readonly property color tint: risky ? DesktopPalette.orange : DesktopPalette.blue

            Item {
                width: parent.width
                height: Math.max(titleText.height, badge.height, riskIcon.height)

                SymbolIcon {
                    id: riskIcon
                    anchors.verticalCenter: parent.verticalCenter
                    width: 15
                    height: 15
                    name: approval.risky ? "exclamationmark.triangle.fill" : "hand.raised.fill"
                    color: approval.tint
                    Accessible.ignored: true
                }
                Text {
                    id: titleText
                    anchors.left: riskIcon.right
                    anchors.leftMargin: 6
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, parent.width - riskIcon.width - badge.width - 12)
                    text: card.content.title || ""
                    font.family: DesktopPalette.uiFontFamily
                    font.pixelSize: 13
                    font.weight: Font.DemiBold
                    color: DesktopPalette.primary
                    wrapMode: Text.Wrap
                    maximumLineCount: 3
                    elide: Text.ElideRight
                    textFormat: Text.PlainText
                }
                Rectangle {
                    id: badge
                    objectName: "riskBadge"
                    anchors.left: titleText.right
                    anchors.leftMargin: 6
                    anchors.verticalCenter: parent.verticalCenter
                    width: badgeText.implicitWidth + 14
                    height: badgeText.implicitHeight + 6
                    radius: height / 2
                    color: DesktopPalette.alpha(approval.tint, approval.risky ? 0.16 : 0.14)
                    Text {
                        id: badgeText
                        anchors.centerIn: parent
                        text: card.content.riskTitle || ""
                        font.family: DesktopPalette.uiFontFamily
                        font.pixelSize: 10
                        font.weight: Font.Bold
                        color: DesktopPalette.primary
                        textFormat: Text.PlainText
                    }
                }
                MouseArea {
                    objectName: "goToSessionTitle"
                    anchors.fill: parent
                    visible: card.goesToSession
                    cursorShape: Qt.PointingHandCursor
                    onClicked: if (card.viewModel) card.viewModel.goToSession()
                }
            }

            Rectangle {
                id: commandBox
                objectName: "commandBox"
                width: parent.width
                height: commandView.height + 16
                radius: 7
                color: DesktopPalette.alpha(DesktopPalette.primary, 0.08)

                FontMetrics { id: commandMetrics; font: commandText.font }
                // Three lines on show; a longer command scrolls (wheel or bar) and says that it does, so
                // nothing after a run of blank lines can pass for the end of the command.
                Flickable {
                    id: commandView
                    objectName: "commandView"
                    x: 8
                    y: 8
                    // Room for the scroll bar kept always: a width that followed "cut" would feed back into it.
                    width: parent.width - 22
                    height: commandText.text === "" ? 0
                                                    : Math.min(commandText.contentHeight,
                                                               Math.ceil(3 * commandMetrics.lineSpacing))
                    readonly property bool cut: commandText.contentHeight > height + 1
                    contentWidth: width
                    contentHeight: commandText.contentHeight
                    clip: true
                    interactive: false
                    boundsBehavior: Flickable.StopAtBounds

                    TextEdit {
                        id: commandText
                        width: commandView.width
                        readOnly: true
                        selectByMouse: true
                        text: card.content.command || ""
                        font.family: DesktopPalette.monoFontFamily
                        font.pixelSize: 11
                        font.weight: Font.Medium
                        color: DesktopPalette.primary
                        selectionColor: DesktopPalette.alpha(card.accent, 0.35)
                        selectedTextColor: DesktopPalette.primary
                        wrapMode: TextEdit.WrapAtWordBoundaryOrAnywhere
                        textFormat: TextEdit.PlainText
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                    WheelHandler {
                        enabled: commandView.cut
                        acceptedDevices: PointerDevice.Mouse | PointerDevice.TouchPad
                        onWheel: (event) => {
                            const step = event.angleDelta.y !== 0 ? -event.angleDelta.y / 120 * 2 * commandMetrics.lineSpacing
                                                                  : -event.pixelDelta.y
                            commandView.contentY = Math.max(0, Math.min(commandView.contentHeight - commandView.height,
                                                                        commandView.contentY + step))
                        }
                    }
                }
                // The scroll position, which can also be dragged.
                Rectangle {
                    id: scrollTrack
                    visible: commandView.cut
                    anchors.right: parent.right
                    anchors.rightMargin: 4
                    y: commandView.y
                    width: 4
                    height: commandView.height
                    radius: 2
                    color: DesktopPalette.alpha(DesktopPalette.primary, 0.08)
                    Rectangle {
                        width: parent.width
                        radius: 2
                        height: Math.max(10, parent.height * commandView.height / Math.max(1, commandView.contentHeight))
                        y: (parent.height - height) * commandView.contentY
                           / Math.max(1, commandView.contentHeight - commandView.height)
                        color: DesktopPalette.alpha(DesktopPalette.primary, 0.35)
                    }
                    MouseArea {
                        anchors.fill: parent
                        anchors.margins: -3
                        function scrollTo(y) {
                            const range = commandView.contentHeight - commandView.height
                            commandView.contentY = Math.max(0, Math.min(range, range * y / scrollTrack.height))
                        }
                        onPressed: (mouse) => scrollTo(mouse.y)
                        onPositionChanged: (mouse) => scrollTo(mouse.y)
                    }
                }
            }

            // A cut is always marked: how much there is, and how much is on show.
            Text {
                objectName: "commandCut"
                visible: commandView.cut
                width: parent.width
                topPadding: -3
                readonly property int lines: commandText.lineCount
                readonly property int first: Math.round(commandView.contentY / commandMetrics.lineSpacing) + 1
                readonly property int last: Math.min(lines, Math.round((commandView.contentY + commandView.height)
                                                                       / commandMetrics.lineSpacing))
                text: card.zh ? "第 " + first + "–" + last + " 行，共 " + lines + " 行 · 滚动查看全部"
                              : "Lines " + first + "–" + last + " of " + lines + " · scroll to read it all"
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 10
                font.weight: Font.Medium
                color: approval.tint
                textFormat: Text.PlainText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            // An agent that asks the user itself: say what each button really does.
            Text {
                objectName: "vetoNote"
                visible: !!card.content.vetoOnly
                width: parent.width
                text: card.zh ? "拒绝会阻止它；允许则交由 " + (card.content.providerTitle || "") + " 自己询问你。"
                              : "Deny stops it; Allow lets " + (card.content.providerTitle || "the agent") + " ask you itself."
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 10
                color: DesktopPalette.secondary
                wrapMode: Text.WordWrap
                textFormat: Text.PlainText
            }

            // One card at a time: the next waiting request shows once this one is answered.
            Text {
                objectName: "moreWaiting"
                readonly property int more: (card.content.waitingCount || 1) - 1
                visible: more > 0
                width: parent.width
                text: card.zh ? "还有 " + more + " 个请求在等待"
                              : more === 1 ? "1 more request waiting" : more + " more requests waiting"
                font.family: DesktopPalette.uiFontFamily
                font.pixelSize: 10
                font.weight: Font.Medium
                color: DesktopPalette.secondary
                textFormat: Text.PlainText
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            ApprovalActions {
                width: parent.width
                viewModel: card.viewModel
                settings: card.settings
                eventId: card.content.eventId || ""
                armed: card.armed
                zh: card.zh
                accent: card.accent
            }
        }
    }
    // qmllint enable unqualified
}
