import QtQuick
import Nubbo.Pet
import "Motion.js" as Motion

// The pet panel's only content, 280 x 360: the bubble stacked above the pet, bottom-aligned, with the hit
// square over the pet. The background stays fully transparent; the window's input shape decides what is
// clickable.
Item {
    id: root

    // The interaction may be null: every call is guarded.
    required property PetViewModel viewModel
    required property SettingsStore settings
    property PetInteraction interaction: null

    readonly property string petState: viewModel ? viewModel.state : "idle"
    readonly property real petSize: 150 * settings.clamped("petSizeScale", settings.petSizeScale)
    // The art is mirrored only while the pet is carried or wanders.
    readonly property real facingScale: (petState === "dragging" || petState === "walking") && viewModel
                                        ? viewModel.facing : 1
    readonly property real bubbleSeconds: Motion.bubbleDuration(settings.clamped("animationSpeed", settings.animationSpeed))
    readonly property color accent: DesktopPalette.accent(settings.themeColor)

    readonly property alias bubble: bubbleView
    readonly property alias image: imageView

    width: 280
    height: 360

    Item {
        id: content
        anchors.fill: parent
        anchors.leftMargin: 8
        anchors.rightMargin: 8
        anchors.bottomMargin: 2
        opacity: entry.value
        transform: Scale {
            origin.x: content.width / 2
            origin.y: content.height
            xScale: 0.85 + 0.15 * entry.value
            yScale: 0.85 + 0.15 * entry.value
        }

        PetBubbleView {
            id: bubbleView
            anchors.horizontalCenter: parent.horizontalCenter
            // Just above the pet; a tall card over a large pet would run off the panel's top, so it then
            // overlaps the pet's head instead of losing its own header.
            y: Math.max(4, petBox.y - 2 - height)
            viewModel: root.viewModel
            settings: root.settings
            accent: root.accent
            transitionSeconds: 0.45
            fadeSeconds: root.bubbleSeconds
        }

        Item {
            id: petBox
            objectName: "petBox"
            width: root.petSize
            height: root.petSize
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.bottom: parent.bottom

            property real shownFacing: root.facingScale
            Behavior on shownFacing {
                NumberAnimation { duration: 100; easing.type: Easing.OutQuad }
            }
            transform: Scale {
                origin.x: petBox.width / 2
                origin.y: petBox.height / 2
                xScale: petBox.shownFacing * squashX.value
                yScale: squashY.value
            }

            PetImageView {
                id: imageView
                anchors.fill: parent
                size: root.petSize
                petState: root.petState
                customPath: root.settings ? root.settings.effectiveCustomPetPath : ""
                packPath: root.settings ? root.settings.effectivePackPath : ""
                symbolColor: root.accent
            }
        }

        // Exactly the pet's square, unmirrored and unsquashed, so the hit area never wobbles.
        MouseArea {
            id: petSquare
            objectName: "petSquare"
            x: petBox.x
            y: petBox.y
            width: petBox.width
            height: petBox.height
            hoverEnabled: true
            acceptedButtons: Qt.LeftButton | Qt.RightButton
            cursorShape: pressed && pressedButtons & Qt.LeftButton ? Qt.ClosedHandCursor : Qt.OpenHandCursor
            Accessible.role: Accessible.Graphic
            Accessible.name: "Nubbo"

            onPressed: mouse => {
                if (!root.interaction)
                    return
                if (mouse.button === Qt.RightButton) {
                    const global = mapToGlobal(mouse.x, mouse.y)
                    root.interaction.contextMenu(global.x, global.y)
                } else {
                    root.interaction.mouseDown(mouse.x, mouse.y)
                }
            }
            onPositionChanged: mouse => {
                if (root.interaction && (pressedButtons & Qt.LeftButton))
                    root.interaction.mouseDragged(mouse.x, mouse.y)
            }
            onReleased: mouse => {
                if (root.interaction && mouse.button === Qt.LeftButton)
                    root.interaction.mouseUp()
            }
            onEntered: if (root.interaction) root.interaction.pointerEntered()
        }

        // Allow All or Ignore Risk at a glance, in the square's top-left corner: the art keeps its props ("!",
        // "?", "Zzz", the warning sign) top right. Inside the square, so the input shape stays as it is; it
        // takes no presses, so they reach the square below and the pet still drags.
        ApprovalModeBadge {
            id: approvalBadge
            objectName: "approvalBadge"
            notice: root.settings ? root.settings.approvalNotice : null
            diameter: Math.round(Math.min(Math.max(root.petSize * 0.18, 24), 34))
            x: petBox.x + 2
            y: petBox.y + 2
        }
    }

    // Entry: the whole content grows from 0.85 at the bottom and fades in on a spring.
    SpringValue { id: entry; value: 0 }
    SpringValue { id: squashX; value: 1 }
    SpringValue { id: squashY; value: 1 }
    // The entry plays when the panel is first on screen, not when the view is built before it is shown.
    readonly property bool onScreen: Window.window !== null && Window.visibility !== Window.Hidden
    property bool appeared: false
    onOnScreenChanged: appear()
    Component.onCompleted: appear()
    function appear() {
        if (appeared || !onScreen)
            return
        appeared = true
        entry.moveToInterpolating(1, 1, 180, 22)
    }

    // Bump: pressed against the wall for 0.08 s, then springing back.
    ParallelAnimation {
        id: squash
        NumberAnimation { id: squashInX; target: squashX; property: "value"; duration: 80; easing.type: Easing.OutQuad }
        NumberAnimation { id: squashInY; target: squashY; property: "value"; duration: 80; easing.type: Easing.OutQuad }
        onFinished: {
            squashX.moveTo(1, 0.22, 0.55)
            squashY.moveTo(1, 0.22, 0.55)
        }
    }
    Connections {
        target: root.viewModel
        function onBumpTriggerChanged() {
            const direction = root.viewModel.bumpDirection
            const side = direction === "left" || direction === "right"
            if (!side && direction !== "top" && direction !== "bottom")
                return
            squash.stop()
            squashX.stop()
            squashY.stop()
            squashInX.to = side ? 0.88 : 1.08
            squashInY.to = side ? 1.08 : 0.92
            squash.start()
        }
    }
}
