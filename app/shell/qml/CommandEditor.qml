import QtQuick
import QtQuick.Templates as T
import Nubbo.Pet
import Nubbo.Shell

// A multi-line editor for a command list, one entry per line. Every edit is written through the model; the
// text is reloaded only when the store changes from elsewhere (a reset or an import), so typing a new
// line is never undone under the cursor.
Rectangle {
    id: editor

    property SettingsWindowModel model: null
    property SettingsStore settings: null
    // "trusted" or "dangerous"
    property string list: ""
    property string accessibleName: ""

    implicitHeight: 120
    radius: Theme.controlRadius
    color: Theme.control
    border.width: area.activeFocus ? 2 : 1
    border.color: area.activeFocus ? Theme.accent : Theme.controlBorder

    function reload() {
        if (model && !model.commandsMatch(list, area.text))
            area.text = model.commandsText(list)
    }
    Component.onCompleted: area.text = model ? model.commandsText(list) : ""
    Connections {
        target: editor.settings
        function onTrustedCommandsChanged() { editor.reload() }
        function onDangerousCommandsChanged() { editor.reload() }
    }

    Flickable {
        id: flick
        anchors.fill: parent
        anchors.margins: 2
        clip: true
        contentWidth: width
        contentHeight: area.height
        boundsBehavior: Flickable.StopAtBounds
        T.TextArea {
            id: area
            width: flick.width
            height: Math.max(flick.height, contentHeight + topPadding + bottomPadding)
            padding: 8
            wrapMode: TextEdit.NoWrap
            selectByMouse: true
            font.family: Theme.monoFamily
            font.pixelSize: 12
            color: Theme.text
            selectionColor: Theme.accent
            selectedTextColor: Theme.accentText
            Accessible.role: Accessible.EditableText
            Accessible.name: editor.accessibleName
            Accessible.multiLine: true
            onTextChanged: if (activeFocus && editor.model) editor.model.setCommandsText(editor.list, text)
            onCursorRectangleChanged: {
                if (cursorRectangle.y < flick.contentY)
                    flick.contentY = cursorRectangle.y
                else if (cursorRectangle.y + cursorRectangle.height > flick.contentY + flick.height)
                    flick.contentY = cursorRectangle.y + cursorRectangle.height - flick.height + padding
            }
        }
    }
}
