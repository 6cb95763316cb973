import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T
import Nubbo.Pet

ColumnLayout {
    id: page

    required property SettingsWindowBase shell
    readonly property var texts: shell.texts
    readonly property var options: shell.model.options
    readonly property SettingsStore settings: shell.settings

    spacing: 16

    SettingsCard {
        title: page.texts.visualSystem
        subtitle: page.texts.visualSystemSubtitle
        symbol: "slider.horizontal.3"

        SettingRow {
            title: page.texts.language
            help: page.texts.languageHelp
            SegmentedPicker {
                choices: page.options.language
                value: page.settings.language
                accessibleName: page.texts.language
                onChosen: v => page.settings.language = v
            }
        }
        SettingRow {
            title: page.texts.accentColor
            help: page.texts.accentColorHelp
            Row {
                spacing: 14
                // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
                // qmllint disable unqualified
                Repeater {
                    model: page.options.themeColor
                    T.RadioButton {
                        id: swatch
                        required property var modelData
                        readonly property bool selected: page.settings.themeColor === modelData.value
                        autoExclusive: false
                        checked: selected
                        indicator: null
                        width: 40
                        height: 44
                        hoverEnabled: true
                        focusPolicy: Qt.StrongFocus
                        Accessible.name: modelData.title
                        onClicked: {
                            page.settings.themeColor = modelData.value
                            checked = Qt.binding(() => swatch.selected)
                        }
                        background: Item {}
                        contentItem: Column {
                            spacing: 4
                            Rectangle {
                                anchors.horizontalCenter: parent.horizontalCenter
                                width: 24
                                height: 24
                                radius: 12
                                color: DesktopPalette.accent(swatch.modelData.value)
                                border.width: swatch.selected || swatch.visualFocus ? 2 : 0
                                border.color: Theme.card
                                Rectangle {
                                    anchors.centerIn: parent
                                    width: 30
                                    height: 30
                                    radius: 15
                                    color: "transparent"
                                    border.width: swatch.selected ? 2 : swatch.hovered ? 1 : 0
                                    border.color: DesktopPalette.accent(swatch.modelData.value)
                                }
                                SymbolIcon {
                                    anchors.centerIn: parent
                                    visible: swatch.selected
                                    width: 14
                                    height: 14
                                    name: "checkmark"
                                    color: "white"
                                }
                            }
                            Text {
                                anchors.horizontalCenter: parent.horizontalCenter
                                text: swatch.modelData.title
                                font.family: Theme.fontFamily
                                font.pixelSize: 11
                                color: swatch.selected ? Theme.text : Theme.secondaryText
                            }
                        }
                    }
                }
                // qmllint enable unqualified
            }
        }
        SettingRow {
            title: page.texts.motionPace
            help: page.texts.motionPaceHelp
            ValueSlider {
                from: page.settings.rangeFrom("animationSpeed")
                to: page.settings.rangeTo("animationSpeed")
                stepSize: 0.1
                value: page.settings.animationSpeed
                accessibleName: page.texts.motionPace
                onMoved: v => page.settings.animationSpeed = v
            }
        }
    }
}
