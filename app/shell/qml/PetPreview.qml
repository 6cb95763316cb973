import QtQuick
import Nubbo.Pet

// The pet as the chosen art draws it, on a soft tile.
Rectangle {
    id: preview

    property SettingsStore settings: null

    radius: 12
    color: Theme.dark ? "#333338" : "#f1f1f5"
    border.width: 1
    border.color: Theme.cardBorder
    Accessible.role: Accessible.Graphic

    PetPictureItem {
        anchors.fill: parent
        anchors.margins: Math.round(parent.width * 0.08)
        petState: "idle"
        customPath: preview.settings ? preview.settings.effectiveCustomPetPath : ""
        packPath: preview.settings ? preview.settings.effectivePackPath : ""
        symbolColor: Theme.accent
    }
}
