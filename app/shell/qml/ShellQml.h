// How an engine gets the settings and onboarding windows: the QML module Nubbo.Shell is compiled into the
// app as a static module, beside Nubbo.Pet whose symbols and pet picture it uses.
#pragma once

#include <QString>
#include <QUrl>

class QQmlEngine;

namespace nubbo {

// A file of the module, e.g. "SettingsWindow.qml".
QUrl shellQmlUrl(const QString& file);

// Registers both modules' types (once per process), makes the engine resolve their imports from the
// compiled-in resources and picks the controls style the file dialogs use. Call before loading a window.
void installShellQml(QQmlEngine& engine);

} // namespace nubbo
