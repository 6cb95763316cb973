import QtQuick
import QtQuick.Window
import QtQuick.Templates as T
import Nubbo.Pet
import Nubbo.Shell

// The settings window: the categories on the left, the chosen category's header and page on the right.
// Every control writes the settings store at once; there is no apply or cancel.
SettingsWindowBase {
    id: window

    property string category: "general"
    readonly property var current: {
        for (const c of model.categories)
            if (c.id === category)
                return c
        return model.categories[0]
    }

    width: 900
    height: 640
    minimumWidth: 760
    minimumHeight: 480
    title: texts.settingsWindowTitle
    color: Theme.window

    Binding { target: Theme; property: "themeColor"; value: window.settings.themeColor }

    onVisibleChanged: if (visible) model.refresh()

    // Alerts of every page; a page calls window.alert(content, onConfirm).
    onAlertRequested: (content, confirmed) => alertDialog.show(content, confirmed)

    // Qt 6.4's qmllint does not follow this file's ids into a component; the engine does.
    // qmllint disable unqualified
    Component { id: generalPage; GeneralPage { shell: window } }
    Component { id: appearancePage; AppearancePage { shell: window } }
    Component { id: designPage; DesignPage { shell: window } }
    Component { id: behaviorPage; BehaviorPage { shell: window } }
    Component { id: agentPage; AgentPage { shell: window } }
    Component { id: approvalPage; ApprovalPage { shell: window } }
    Component { id: notificationsPage; NotificationsPage { shell: window } }
    Component { id: advancedPage; AdvancedPage { shell: window } }
    Component { id: aboutPage; AboutPage { shell: window } }
    // qmllint enable unqualified

    AlertDialog {
        id: alertDialog
        iconSource: window.model.logoUrl
    }

    Sidebar {
        id: sidebar
        width: 220
        height: parent.height
        categories: window.model.categories
        current: window.category
        logoUrl: window.model.logoUrl
        appName: window.texts.appName
        subtitle: window.texts.sidebarSubtitle
        onPicked: id => window.category = id
    }

    Item {
        id: detail
        anchors.left: sidebar.right
        anchors.right: parent.right
        height: parent.height

        Row {
            id: header
            x: Theme.pagePadding
            y: 22
            width: parent.width - 2 * Theme.pagePadding
            spacing: 12
            Rectangle {
                width: 40
                height: 40
                radius: 10
                color: Theme.accent
                SymbolIcon {
                    anchors.centerIn: parent
                    width: 22
                    height: 22
                    name: window.current.symbol
                    color: Theme.accentText
                }
            }
            Column {
                width: parent.width - 52
                anchors.verticalCenter: parent.verticalCenter
                spacing: 2
                Text {
                    width: parent.width
                    text: window.current.title
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.headerSize
                    font.weight: Font.Bold
                    color: Theme.text
                    Accessible.role: Accessible.Heading
                    Accessible.name: text
                }
                Text {
                    width: parent.width
                    text: window.current.blurb
                    font.family: Theme.fontFamily
                    font.pixelSize: Theme.helpSize
                    color: Theme.secondaryText
                    elide: Text.ElideRight
                }
            }
        }

        // A hairline under the header once the page has scrolled beneath it.
        Rectangle {
            anchors.bottom: scroller.top
            width: parent.width
            height: 1
            color: Theme.divider
            visible: scroller.contentY > 1
        }

        Flickable {
            id: scroller
            anchors.top: header.bottom
            anchors.topMargin: 18
            anchors.bottom: parent.bottom
            width: parent.width
            clip: true
            contentWidth: width
            contentHeight: page.height + 2 * 4 + Theme.pagePadding
            boundsBehavior: Flickable.StopAtBounds
            T.ScrollBar.vertical: T.ScrollBar {
                id: bar
                width: 10
                visible: size < 1
                contentItem: Rectangle {
                    implicitWidth: 6
                    radius: 3
                    color: Theme.secondaryText
                    opacity: bar.active ? 0.5 : 0.25
                }
            }

            Loader {
                id: page
                x: Theme.pagePadding
                y: 4
                width: scroller.width - 2 * Theme.pagePadding
                height: item ? (item as Item).implicitHeight : 0
                sourceComponent: {
                    const pages = { general: generalPage, appearance: appearancePage, design: designPage,
                                    behavior: behaviorPage, agent: agentPage, approval: approvalPage,
                                    notifications: notificationsPage, advanced: advancedPage, about: aboutPage }
                    return pages[window.category] || generalPage
                }
                onLoaded: scroller.contentY = 0
            }
        }
    }
}
