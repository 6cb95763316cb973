pragma Singleton
import QtQuick
import Nubbo.Pet

// The shell windows' colours, type and spacing, following the desktop's light or dark palette and the
// user's accent colour (the windows bind themeColor to the setting).
QtObject {
    property string themeColor

    readonly property bool dark: DesktopPalette.dark
    readonly property color accent: DesktopPalette.accent(themeColor)
    readonly property color accentText: "white"
    readonly property color accentSoft: DesktopPalette.alpha(accent, dark ? 0.24 : 0.14)

    readonly property color window: dark ? "#1c1c1f" : "#f4f4f7"
    readonly property color sidebar: dark ? "#242428" : "#eaeaef"
    readonly property color card: dark ? "#2a2a2e" : "#ffffff"
    readonly property color cardBorder: dark ? Qt.rgba(1, 1, 1, 0.08) : Qt.rgba(0, 0, 0, 0.07)
    readonly property color divider: dark ? Qt.rgba(1, 1, 1, 0.07) : Qt.rgba(0, 0, 0, 0.07)
    readonly property color control: dark ? "#38383d" : "#ffffff"
    readonly property color controlHover: dark ? "#424248" : "#f6f6f8"
    readonly property color controlBorder: dark ? Qt.rgba(1, 1, 1, 0.12) : Qt.rgba(0, 0, 0, 0.16)
    readonly property color track: dark ? "#48484e" : "#d6d6dc"
    readonly property color text: DesktopPalette.primary
    readonly property color secondaryText: DesktopPalette.secondary
    readonly property color tertiaryText: dark ? "#7c7c84" : "#9a9aa2"
    readonly property color red: DesktopPalette.red
    readonly property color orange: DesktopPalette.orange
    readonly property color green: dark ? "#30d158" : "#1f9d46"
    readonly property color shadow: dark ? Qt.rgba(0, 0, 0, 0.5) : Qt.rgba(0, 0, 0, 0.18)

    readonly property string fontFamily: DesktopPalette.uiFontFamily
    readonly property string monoFamily: DesktopPalette.monoFontFamily
    readonly property int bodySize: 13
    readonly property int helpSize: 12
    readonly property int titleSize: 14
    readonly property int headerSize: 20

    readonly property int radius: 10
    readonly property int controlRadius: 6
    readonly property int controlHeight: 28
    readonly property int gap: 12
    readonly property int pagePadding: 24
}
