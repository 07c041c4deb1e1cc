#include "drives.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>

namespace ktu {
namespace platform {
namespace posix {
namespace {

std::map<char, std::string> readDriveMap()
{
    std::map<char, std::string> drives;
    drives['C'] = "/";
    const char* mapText = std::getenv("KTU_DRIVES");
    if (mapText == nullptr) {
        return drives;
    }
    std::string text(mapText);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string item = text.substr(start, end - start);
        if (item.size() >= 3 && std::isalpha(static_cast<unsigned char>(item[0])) && item[1] == '=') {
            std::string root = item.substr(2);
            while (root.size() > 1 && root.back() == '/') {
                root.pop_back();
            }
            drives[static_cast<char>(std::toupper(static_cast<unsigned char>(item[0])))] = root;
        }
        start = end + 1;
    }
    return drives;
}

}  // namespace

std::string driveRoot(char letter)
{
    auto drives = readDriveMap();
    auto it = drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
    return it == drives.end() ? std::string() : it->second;
}

std::string logicalDriveList()
{
    std::string list;
    for (const auto& drive : readDriveMap()) {
        list += drive.first;
        list += ":\\";
        list += '\0';
    }
    list += '\0';
    return list;
}

bool toNativePath(const char* path, std::string& out)
{
    if (path == nullptr) {
        return false;
    }
    if (!(std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')) {
        out.assign(path);
        return true;
    }
    std::string root = driveRoot(path[0]);
    if (root.empty()) {
        return false;
    }
    std::string rest(path + 2);
    for (char& c : rest) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (rest.empty() || rest[0] != '/') {
        rest.insert(rest.begin(), '/');
    }
    out = (root == "/") ? rest : root + rest;
    return true;
}

}  // namespace posix
}  // namespace platform
}  // namespace ktu
