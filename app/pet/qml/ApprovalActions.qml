import QtQuick
import Nubbo.Pet

// Deny, Allow and Allow All, right-aligned; the row dips to 0.92 while pressed, without taking the buttons'
// clicks.
Item {
    id: actions

    property PetViewModel viewModel: null
    property SettingsStore settings: null
    // The request the buttons were drawn for: they answer that one or nothing.
    property string eventId: ""
    // False while the card is new on screen: clicks then answer nothing.
    property bool armed: false
    property bool zh: false
    property color accent

    // Each button's side padding: 9, less when the three would not fit the card's width (compact style,
    // long translations), so none is pushed out of the card.
    readonly property real buttonPadding: Math.max(4, Math.min(9, (width - 2 * row.spacing - deny.labelWidth
                                                                   - allow.labelWidth - allowAll.labelWidth) / 6))

    implicitHeight: row.height

    Row {
        id: row
        anchors.right: parent.right
        spacing: 8
        scale: press.value
        enabled: actions.armed
        opacity: enabled ? 1 : 0.5
        Behavior on opacity { NumberAnimation { duration: 150 } }

        CardButton {
            id: deny
            horizontalPadding: actions.buttonPadding
            text: actions.zh ? "拒绝" : "Deny"
            tint: DesktopPalette.red
            onClicked: if (actions.viewModel) actions.viewModel.answerCard(actions.eventId, "deny")
        }
        CardButton {
            id: allow
            horizontalPadding: actions.buttonPadding
            text: actions.zh ? "允许" : "Allow"
            tint: actions.accent
            prominent: true
            onClicked: if (actions.viewModel) actions.viewModel.answerCard(actions.eventId, "allow")
        }
        CardButton {
            id: allowAll
            horizontalPadding: actions.buttonPadding
            text: actions.zh ? "全部允许" : "Allow All"
            tint: DesktopPalette.blue
            // What Allow All will really leave asking, from the current lists and switches.
            toolTip: actions.settings ? actions.settings.allowAllExplanation
                                      : actions.zh ? "全部允许：普通命令以后不再询问（危险命令仍会问）"
                                                   : "Allow All: ordinary commands won't ask again (dangerous ones still will)."
            onClicked: if (actions.viewModel) actions.viewModel.answerCard(actions.eventId, "allowAll")
        }

        // Passive: it watches the press and never grabs it from the buttons.
        PointHandler {
            id: pointer
            acceptedButtons: Qt.LeftButton
            onActiveChanged: {
                if (active && press.value > 0.95)
                    press.moveTo(0.92, 0.18, 0.6)
                else if (!active)
                    press.moveTo(1.0, 0.22, 0.7)
            }
        }
    }

    SpringValue { id: press; value: 1 }
}
