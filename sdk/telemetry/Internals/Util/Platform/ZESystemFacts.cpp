#include "sdk/telemetry/Internals/Util/Platform/ZESystemFacts.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <vector>

namespace ze {

namespace {

std::string firstLine(const char* path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

std::string osReleaseField(const std::string& name)
{
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind(name + "=", 0) != 0) {
                continue;
            }
            std::string value = line.substr(name.size() + 1);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return value;
        }
    }
    return {};
}

std::string threePartVersion(const std::string& version)
{
    std::vector<long> parts;
    std::istringstream in(version);
    std::string part;
    while (std::getline(in, part, '.') && parts.size() < 3) {
        parts.push_back(std::strtol(part.c_str(), nullptr, 10));
    }
    parts.resize(3, 0);
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]);
}

} // namespace

ZESystemFacts ZESystemFacts::current()
{
    ZESystemFacts facts;
    facts.model = firstLine("/sys/class/dmi/id/product_name");
    if (facts.model.empty()) {
        facts.model = "Unknown";
    }
    facts.oemName = firstLine("/sys/class/dmi/id/sys_vendor");
    if (facts.oemName.empty()) {
        facts.oemName = "Unknown";
    }
    utsname names{};
    const bool haveUname = ::uname(&names) == 0;
    facts.osName = osReleaseField("NAME");
    if (facts.osName.empty() && haveUname) {
        facts.osName = names.sysname;
    }
    facts.osVersion = threePartVersion(osReleaseField("VERSION_ID"));
    facts.osBuild = haveUname ? names.release : "Unknown";

    std::string locale;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(variable); value && *value) {
            locale = value;
            break;
        }
    }
    // Form: language[_COUNTRY][.encoding][@modifier]; "C" and "POSIX" mean English.
    std::string modifier;
    if (const auto at = locale.find('@'); at != std::string::npos) {
        modifier = locale.substr(at + 1);
        locale.erase(at);
    }
    if (const auto dot = locale.find('.'); dot != std::string::npos) {
        locale.erase(dot);
    }
    if (locale.empty() || locale == "C" || locale == "POSIX") {
        locale = "en";
    }
    const auto underscore = locale.find('_');
    facts.language = locale.substr(0, underscore);
    facts.country = underscore == std::string::npos ? std::string() : locale.substr(underscore + 1);
    if (modifier == "latin") {
        facts.script = "Latn";
    } else if (modifier == "cyrillic") {
        facts.script = "Cyrl";
    }

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    facts.timeZoneOffsetSeconds = local.tm_gmtoff;
    return facts;
}

} // namespace ze
