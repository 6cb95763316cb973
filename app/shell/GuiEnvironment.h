// Choices that must be made before the application object exists.
#pragma once

namespace nubbo {

// Wayland clients cannot place their own windows, so a Wayland session runs the app through XWayland; with
// no display at all the app runs headless. The user's own QT_QPA_PLATFORM always wins. Qt Quick draws with
// its software renderer unless the user chose a backend (QT_QUICK_BACKEND).
void prepareGuiEnvironment();

} // namespace nubbo
