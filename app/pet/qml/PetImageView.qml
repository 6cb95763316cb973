import QtQuick
import Nubbo.Pet
import "Motion.js" as Motion

// One state of the pet, size x size. A change of frame folder or of art source builds a new layer that
// cross-fades in, once its art has been loaded, and restarts frames and motion; a state that shares the
// folder updates the layer in place.
Item {
    id: view

    property string petState: "idle"
    property string customPath: ""
    property string packPath: ""
    property real size: 150
    property color symbolColor: "#f03e7a"

    readonly property string identity: PetStates.frameFolder(petState) + "|" + (customPath !== "" ? "custom:"
        + customPath : packPath !== "" ? "pack:" + packPath : "official")
    // The layer on show and its picture item; how many layers were built (for tests). A layer is an object of
    // the component below, whose members the lint cannot know.
    property Item current: null
    readonly property PetPictureItem picture: current ? current.picture : null  // qmllint disable type
    property int generation: 0

    width: size
    height: size

    onIdentityChanged: rebuild(true)
    onPetStateChanged: if (current) current.layerState = petState
    Component.onCompleted: rebuild(false)

    function rebuild(fade) {
        const previous = current
        current = layerComponent.createObject(view, {
            layerState: petState, layerCustomPath: customPath, layerPackPath: packPath,
            opacity: fade ? 0 : 1
        })
        generation += 1
        if (fade)
            current.enter(previous)
        else if (previous)
            previous.leave()
    }

    // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
    // qmllint disable unqualified
    Component {
        id: layerComponent

        Item {
            id: layer

            property string layerState
            property string layerCustomPath
            property string layerPackPath
            readonly property alias picture: art
            readonly property var m: PetStates.motion(layerState)
            // 0 at the loop's "from" values, 1 at its "to" values; frames play without motion.
            property real swing: 0
            readonly property bool moving: !art.animatesByFrames

            function mix(from, to) { return moving ? from + (to - from) * swing : 0 }
            readonly property real motionScale: moving ? mix(m.scaleFrom, m.scaleTo) : 1

            // The layer it replaces stays until this one has its art, so the pet never blinks out.
            property Item replacing: null
            property bool entering: false
            function enter(previous) { replacing = previous; entering = true; if (art.ready) arrive() }
            function arrive() { entering = false; fadeIn.start(); dropReplaced() }
            function dropReplaced() { if (replacing) replacing.leave(); replacing = null }  // qmllint disable type
            function leave() { entering = false; dropReplaced(); fadeIn.stop(); fadeOut.start() }

            anchors.fill: parent
            transform: [
                Scale {
                    origin.x: layer.width / 2
                    origin.y: layer.height
                    xScale: layer.motionScale
                    yScale: layer.motionScale
                },
                Rotation {
                    origin.x: layer.width / 2
                    origin.y: layer.height
                    angle: layer.mix(layer.m.rotationFrom, layer.m.rotationTo)
                },
                Translate {
                    x: layer.mix(layer.m.xFrom, layer.m.xTo)
                    y: layer.mix(layer.m.yFrom, layer.m.yTo)
                }
            ]

            PetPictureItem {
                id: art
                anchors.fill: parent
                petState: layer.layerState
                customPath: layer.layerCustomPath
                packPath: layer.layerPackPath
                symbolColor: view.symbolColor
                onLoaded: if (layer.entering) layer.arrive()
            }

            // The still picture's loop: ease in and out, one half-cycle per duration, forever. Thirty steps a
            // second are smooth for a sway of a few points and redraw the pet half as often as the display.
            Timer {
                property double startedAt: 0
                interval: 33
                repeat: true
                triggeredOnStart: true
                running: layer.moving && layer.visible && layer.Window.visibility !== Window.Hidden
                onRunningChanged: if (running) startedAt = Date.now()
                onTriggered: layer.swing = Motion.swingAt((Date.now() - startedAt) / 1000, layer.m.duration,
                                                          layer.m.autoreverses)
            }

            NumberAnimation {
                id: fadeIn
                target: layer; property: "opacity"; to: 1
                duration: 120; easing.type: Easing.InOutQuad
            }
            SequentialAnimation {
                id: fadeOut
                NumberAnimation { target: layer; property: "opacity"; to: 0; duration: 120; easing.type: Easing.InOutQuad }
                ScriptAction { script: layer.destroy() }
            }
        }
    }
    // qmllint enable unqualified
}
