import QtQuick

// Text that cross-fades to its new string instead of jumping.
Item {
    id: fader

    property string text
    property font font
    property color color
    property int maximumLineCount: 1
    property real fadeSeconds: 0.3
    // The width the text would take on one line per paragraph, for hugging short messages.
    readonly property real naturalWidth: Math.ceil(measure.implicitWidth)
    readonly property alias lineCount: front.lineCount
    property string _shown

    implicitHeight: front.implicitHeight
    implicitWidth: naturalWidth

    Component.onCompleted: _shown = text
    onTextChanged: {
        if (text === _shown)
            return
        back.text = _shown
        _shown = text
        fade.restart()
    }

    Text {
        id: measure
        visible: false
        text: fader.text
        font: fader.font
        textFormat: Text.PlainText
    }
    Text {
        id: back
        width: fader.width
        opacity: 0
        font: fader.font
        color: fader.color
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        elide: Text.ElideRight
        maximumLineCount: fader.maximumLineCount
    }
    Text {
        id: front
        width: fader.width
        text: fader.text
        font: fader.font
        color: fader.color
        textFormat: Text.PlainText
        wrapMode: Text.Wrap
        elide: Text.ElideRight
        maximumLineCount: fader.maximumLineCount
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
    ParallelAnimation {
        id: fade
        NumberAnimation { target: back; property: "opacity"; from: 1; to: 0; duration: fader.fadeSeconds * 1000; easing.type: Easing.InOutQuad }
        NumberAnimation { target: front; property: "opacity"; from: 0; to: 1; duration: fader.fadeSeconds * 1000; easing.type: Easing.InOutQuad }
    }
}
