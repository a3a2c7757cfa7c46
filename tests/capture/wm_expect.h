#pragma once
// Expected request texts from tests/data: one header line per line, '#'
// lines are comments; placeholders {NAME} are replaced by the test.

#include <fstream>
#include <map>
#include <string>

namespace wmtest {

inline std::string dataPath(const char* name) {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../data/" + name;
}

inline std::string expectedRequest(const char* name, const std::map<std::string, std::string>& values) {
    std::ifstream in(dataPath(name));
    std::string line, out;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '#') continue;
        for (const auto& kv : values) {
            std::string key = "{" + kv.first + "}";
            for (size_t at = line.find(key); at != std::string::npos; at = line.find(key, at + kv.second.size()))
                line.replace(at, key.size(), kv.second);
        }
        out += line + "\r\n";
    }
    return out + "\r\n";
}

}  // namespace wmtest
