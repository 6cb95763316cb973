import QtQuick
import QtQuick.Window
import Nubbo.Pet
import Nubbo.Shell

// The settings window as its pages see it: the model, the store, the art installer and the alerts. The pages
// name this type, not SettingsWindow, which builds them: QML files may not depend on each other in a loop.
Window {
    required property SettingsWindowModel model
    required property SettingsStore settings
    // Installs a chosen picture or pack; may be null where nothing installs art.
    property PetArtInstaller petArt: null

    readonly property var texts: model.texts

    // A page's alert; the window shows it.
    signal alertRequested(var content, var confirmed)
    function alert(content, confirmed) { alertRequested(content, confirmed) }
}
