#include "recorder/temp_directory.h"

#include <filesystem>
#include <system_error>

namespace kg {

std::string temporaryDirectory() {
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec || dir.empty()) dir = "/tmp";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir != "/") dir += '/';
    return dir;
}

}  // namespace kg
