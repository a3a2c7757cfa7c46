#include "files.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace stationdir {

bool makeDirs(const std::string &path)
{
    std::string partial;
    std::istringstream in(path);
    std::string part;
    if (!path.empty() && path[0] == '/')
        partial = "/";
    while (std::getline(in, part, '/')) {
        if (part.empty())
            continue;
        partial += part + "/";
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool writeFileAtomically(const std::string &path, const std::string &bytes)
{
    const std::string partial = path + ".part" + std::to_string(getpid());
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << bytes;
        out.flush();
        if (!out) {
            std::remove(partial.c_str());
            return false;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

}  // namespace stationdir
