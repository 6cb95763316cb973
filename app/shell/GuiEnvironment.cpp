#include "shell/GuiEnvironment.h"

#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QtGlobal>

namespace nubbo {

void prepareGuiEnvironment() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
        if (x11 && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "xcb");
        else if (!x11 && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

} // namespace nubbo
