import QtQuick
import QtQuick.Templates as T
import Nubbo.Pet

// The windows' modal alert: a title, a text, and one or two buttons (the first is the default). show()
// takes the {title, text, confirm, cancel, warning} the models answer with and what to do on the first.
// An import's confirmation may add changesHeading and changes [{label, change, weakens}], listed under the
// text (scrolling when long), and destructive, which marks the first button as a risky step.
T.Popup {
    id: alert

    property var content: ({})
    property var onConfirm: null
    property url iconSource

    function show(alertContent, confirmed) {
        content = alertContent
        onConfirm = confirmed || null
        open()
        confirmButton.forceActiveFocus()
    }
    function finish(confirmed) {
        const action = onConfirm
        onConfirm = null
        close()
        if (confirmed && action)
            action()
    }

    readonly property bool warning: content.warning === true
    readonly property var changes: content.changes || []

    parent: T.Overlay.overlay
    modal: true
    focus: true
    closePolicy: T.Popup.CloseOnEscape
    anchors.centerIn: parent
    width: Math.min(changes.length > 0 ? 520 : 440, (parent ? parent.width : 440) - 48)
    implicitHeight: contentHeight + topPadding + bottomPadding
    padding: 20
    onClosed: onConfirm = null

    T.Overlay.modal: Rectangle { color: Qt.rgba(0, 0, 0, Theme.dark ? 0.45 : 0.25) }

    background: Rectangle {
        radius: 12
        color: Theme.card
        border.width: 1
        border.color: Theme.controlBorder
        // A soft edge instead of a blur: two faint rings outside the border.
        Rectangle {
            z: -1
            anchors.fill: parent
            anchors.margins: -2
            radius: 14
            color: "transparent"
            border.width: 2
            border.color: Qt.rgba(0, 0, 0, Theme.dark ? 0.35 : 0.06)
        }
        Rectangle {
            z: -2
            anchors.fill: parent
            anchors.margins: -5
            radius: 17
            color: "transparent"
            border.width: 3
            border.color: Qt.rgba(0, 0, 0, Theme.dark ? 0.2 : 0.03)
        }
    }

    // Its ids make it immediate (not deferred), as it has always been built.
    contentItem: Column {  // qmllint disable deferred-property-id
        spacing: 14
        Accessible.role: Accessible.AlertMessage
        Accessible.name: alert.content.title || ""
        Row {
            width: parent.width
            spacing: 14
            Item {
                width: 40
                height: 40
                Image {
                    anchors.fill: parent
                    visible: !alert.warning
                    source: alert.iconSource
                    sourceSize { width: 80; height: 80 }
                    smooth: true
                    mipmap: true
                }
                SymbolIcon {
                    anchors.fill: parent
                    anchors.margins: 2
                    visible: alert.warning
                    name: "exclamationmark.triangle.fill"
                    color: Theme.orange
                }
            }
            Column {
                width: parent.width - 54
                spacing: 6
                Text {
                    width: parent.width
                    text: alert.content.title || ""
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.titleSize
                    font.weight: Font.DemiBold
                    color: Theme.text
                    wrapMode: Text.Wrap
                }
                Text {
                    width: parent.width
                    text: alert.content.text || ""
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.helpSize
                    color: Theme.secondaryText
                    wrapMode: Text.Wrap
                    lineHeight: 1.15
                    textFormat: Text.PlainText
                }
            }
        }
        Rectangle {
            id: changeBox
            visible: alert.changes.length > 0
            width: parent.width
            height: visible ? changeHeading.implicitHeight + changeList.height + 26 : 0
            radius: Theme.controlRadius
            color: Theme.window
            border.width: 1
            border.color: Theme.cardBorder

            Text {
                id: changeHeading
                x: 10
                y: 9
                width: parent.width - 20
                text: alert.content.changesHeading || ""
                font.family: Theme.fontFamily
                font.pixelSize: Theme.helpSize
                font.weight: Font.DemiBold
                color: Theme.text
                wrapMode: Text.Wrap
                textFormat: Text.PlainText
            }
            Flickable {
                id: changeList
                x: 10
                y: changeHeading.y + changeHeading.implicitHeight + 8
                width: parent.width - 20
                // Room for the title, the text and the buttons stays; the rest of the window may hold the list.
                height: Math.min(contentHeight, Math.max(96, (alert.parent ? alert.parent.height : 480) - 300))
                contentHeight: changeColumn.implicitHeight
                clip: true
                interactive: contentHeight > height
                boundsBehavior: Flickable.StopAtBounds

                Column {
                    id: changeColumn
                    width: changeList.width - (changeList.interactive ? 10 : 0)
                    spacing: 8
                    Repeater {
                        model: alert.changes
                        // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
                        // qmllint disable unqualified
                        delegate: Row {
                            id: changeRow
                            required property var modelData
                            width: changeColumn.width
                            spacing: 8
                            Accessible.role: Accessible.StaticText
                            Accessible.name: modelData.label + ": " + modelData.change
                            SymbolIcon {
                                y: 1
                                width: 14
                                height: 14
                                name: changeRow.modelData.weakens ? "exclamationmark.triangle.fill" : "info.circle.fill"
                                color: changeRow.modelData.weakens ? Theme.red : Theme.tertiaryText
                            }
                            Column {
                                width: parent.width - 22
                                spacing: 1
                                Text {
                                    width: parent.width
                                    text: changeRow.modelData.label
                                    font.family: Theme.fontFamily
                                    font.pixelSize: Theme.helpSize
                                    font.weight: Font.DemiBold
                                    color: changeRow.modelData.weakens ? Theme.red : Theme.text
                                    wrapMode: Text.Wrap
                                    textFormat: Text.PlainText
                                }
                                Text {
                                    width: parent.width
                                    text: changeRow.modelData.change
                                    font.family: Theme.fontFamily
                                    font.pixelSize: Theme.helpSize
                                    color: Theme.secondaryText
                                    wrapMode: Text.WrapAtWordBoundaryOrAnywhere
                                    textFormat: Text.PlainText
                                }
                            }
                        }
                        // qmllint enable unqualified
                    }
                }
            }
            // Says there is more below when the list scrolls.
            Rectangle {
                visible: changeList.interactive
                x: changeList.x + changeList.width - 4
                y: changeList.y + changeList.visibleArea.yPosition * changeList.height
                width: 4
                height: Math.max(16, changeList.visibleArea.heightRatio * changeList.height)
                radius: 2
                color: Theme.tertiaryText
                opacity: 0.7
            }
        }
        Row {
            anchors.right: parent.right
            spacing: 8
            layoutDirection: Qt.RightToLeft
            ShellButton {
                id: confirmButton
                kind: alert.content.destructive === true ? "destructive" : "accent"
                text: alert.content.confirm || ""
                onClicked: alert.finish(true)
                Keys.onReturnPressed: alert.finish(true)
                Keys.onEnterPressed: alert.finish(true)
            }
            ShellButton {
                visible: (alert.content.cancel || "") !== ""
                text: alert.content.cancel || ""
                onClicked: alert.finish(false)
            }
        }
    }
}
