#include "common/AppLocations.h"

namespace nubbo::locations {

std::string socketInHome() {
    std::string path = kSupportFolder;
    path += '/';
    path += kSocketFile;
    return path;
}

std::string socketPath(std::string_view home) {
    std::string path(home);
    path += '/';
    path += socketInHome();
    return path;
}

} // namespace nubbo::locations
