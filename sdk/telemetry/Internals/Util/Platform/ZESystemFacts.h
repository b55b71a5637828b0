// What the running machine says about itself, for the device record: hardware maker and model,
// operating system name, version and build, locale and time-zone offset.
#pragma once

#include <string>

namespace ze {

struct ZESystemFacts {
    std::string model;      // DMI product name, "Unknown" when unreadable
    std::string oemName;    // DMI system vendor, "Unknown" when unreadable
    std::string osName;     // NAME of os-release, else the kernel's name
    std::string osVersion;  // major.minor.patch from os-release's VERSION_ID (missing parts 0)
    std::string osBuild;    // the kernel release
    std::string language;   // from LC_ALL / LC_MESSAGES / LANG, e.g. "en"
    std::string country;    // e.g. "US"; empty when the locale names none
    std::string script;     // e.g. "Latn" from an "@latin" modifier; usually empty
    long timeZoneOffsetSeconds = 0; // local time minus UTC

    static ZESystemFacts current();
};

} // namespace ze
