import QtQuick
import QtQuick.Templates as T

// A one-line text field; `secret` hides what is typed. The page commits the text when editing finishes.
T.TextField {
    id: field

    property bool secret: false
    property string accessibleName: ""

    implicitWidth: 240
    implicitHeight: Theme.controlHeight
    leftPadding: 9
    rightPadding: 9
    verticalAlignment: TextInput.AlignVCenter
    echoMode: secret ? TextInput.Password : TextInput.Normal
    selectByMouse: true
    font.family: Theme.fontFamily
    font.pixelSize: Theme.bodySize
    color: Theme.text
    selectionColor: Theme.accent
    selectedTextColor: Theme.accentText
    placeholderTextColor: Theme.tertiaryText
    Accessible.role: Accessible.EditableText
    Accessible.name: accessibleName
    Accessible.passwordEdit: secret

    Text {
        x: field.leftPadding
        width: field.width - field.leftPadding - field.rightPadding
        height: field.height
        verticalAlignment: Text.AlignVCenter
        text: field.placeholderText
        visible: field.text === "" && !field.activeFocus
        font: field.font
        color: field.placeholderTextColor
        elide: Text.ElideRight
    }
    background: Rectangle {
        radius: Theme.controlRadius
        color: Theme.control
        border.width: field.activeFocus ? 2 : 1
        border.color: field.activeFocus ? Theme.accent : Theme.controlBorder
    }
}
