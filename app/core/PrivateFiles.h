// Folders and files only the user can read: the app's folders are 0700 and its files 0600 whatever the umask.
#pragma once

#include <QString>

class QFileDevice;

namespace nubbo {

struct PrivateFiles {
    // Creates the folder and any missing parents, each 0700; true when the folder exists afterwards.
    static bool makeFolder(const QString& path);
    // Sets an open file (a QFile or QSaveFile before its commit) to 0600.
    static bool restrict(QFileDevice& file);
};

} // namespace nubbo
