#pragma once
// Expected request texts from tests/data: one header line per line, '#'
// lines are comments; placeholders {NAME} are replaced by the test.

#include <fstream>
#include <map>
#include <string>

namespace wmtest {

// The data folder is named by the build: __FILE__ may be relative to a
// compiler cache's base folder rather than to where the test runs.
inline std::string dataPath(const char *name)
{
    return std::string(VEXA_TEST_DATA_DIR) + "/" + name;
}

inline std::string expectedRequest(const char *name, const std::map<std::string, std::string> &values)
{
    std::ifstream in(dataPath(name));
    std::string line, out;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '#')
            continue;
        for (const auto &kv : values) {
            std::string key = "{" + kv.first + "}";
            for (size_t at = line.find(key); at != std::string::npos; at = line.find(key, at + kv.second.size()))
                line.replace(at, key.size(), kv.second);
        }
        out += line + "\r\n";
    }
    return out + "\r\n";
}

}  // namespace wmtest
