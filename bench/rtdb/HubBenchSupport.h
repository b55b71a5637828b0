#pragma once
// What the benchmarks that run the qv-hub program read of it: a string field of its JSON
// answers, and the program's resident memory.
#include <QtGlobal>

#include <fstream>
#include <string>

namespace qv::bench {

// The value of the string field `name` in the JSON text `json`; empty when there is none.
inline std::string field(const std::string& json, const std::string& name)
{
    auto start = json.find("\"" + name + "\":\"");
    if (start == std::string::npos)
        return {};
    start += name.size() + 4;
    return json.substr(start, json.find('"', start) - start);
}

// Resident memory of process `pid`, KiB; -1 when it cannot be read.
inline long residentKiB(qint64 pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

}  // namespace qv::bench
