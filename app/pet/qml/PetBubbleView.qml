import QtQuick
import Nubbo.Pet

// The speech bubble above the pet. Each content identity (bubbleID) gets its own card: a new identity slides
// the old card out to the right while the new one comes in from the left; plain messages share one identity
// and update in place.
Item {
    id: bubbleView

    property PetViewModel viewModel: null
    property SettingsStore settings: null
    property color accent
    property real transitionSeconds: 0.45
    property real fadeSeconds: 0.3

    readonly property bool shown: viewModel ? viewModel.bubbleVisible : false
    // With no bubble set, an empty message.
    readonly property var content: viewModel && viewModel.bubble && viewModel.bubble.kind ? viewModel.bubble
                                                                                           : ({ kind: "message", text: "" })
    readonly property string bubbleID: content.kind === "narration" ? "nar:" + (content.provider || "-")
                                     : content.kind === "approval" ? "apr:" + String(content.id).toUpperCase()
                                     : "msg"
    readonly property string animationTrigger: (shown ? "1" : "0") + "|" + bubbleID

    // The card on show (null while hidden) and how many cards were built, for tests and the window.
    property BubbleCard current: null
    readonly property string cardIdentity: current ? current.identity : ""
    property int generation: 0
    // The card sliding out, if any. One at a time: when agents take turns faster than the slide, the earlier
    // leaver goes at once, so cards cannot pile up.
    property BubbleCard leavingCard: null

    width: current ? current.width : 0
    height: current ? current.height : 0

    onAnimationTriggerChanged: sync()
    onContentChanged: if (current && current.identity === bubbleID) current.content = content
    Component.onCompleted: sync()

    function sync() {
        // Agents working side by side take turns at the pet many times a second: a narration card that is
        // still sliding in takes the next agent's words in place, so at most one new card comes per slide.
        if (current && shown && current.identity !== bubbleID && current.kind === "narration"
                && content.kind === "narration" && current.phase < 1) {
            current.identity = bubbleID
            current.content = content
            return
        }
        if (current && (!shown || current.identity !== bubbleID)) {
            if (leavingCard)
                leavingCard.destroy()
            leavingCard = current
            current.leave(transitionSeconds)
            current = null
        }
        if (shown && !current) {
            current = cardComponent.createObject(bubbleView, { identity: bubbleID, content: content })
            generation += 1
            current.enter(transitionSeconds)
        }
    }

    // The shown card with its tail, for the window's input shape: only this rectangle takes clicks.
    Item {
        objectName: "bubbleCard"
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        width: bubbleView.width
        height: bubbleView.height
        visible: bubbleView.current !== null
    }

    // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
    // qmllint disable unqualified
    Component {
        id: cardComponent
        BubbleCard {
            anchors.bottom: parent ? parent.bottom : undefined
            anchors.horizontalCenter: parent ? parent.horizontalCenter : undefined
            viewModel: bubbleView.viewModel
            settings: bubbleView.settings
            accent: bubbleView.accent
            fadeSeconds: bubbleView.fadeSeconds
        }
    }
    // qmllint enable unqualified
}
