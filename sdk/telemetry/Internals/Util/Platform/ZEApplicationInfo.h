// Facts about the application that embeds the SDK, given by the application at start-up.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ze {

struct ZEApplicationInfo {
    // Names the SDK's folders and its secret-store service.
    std::string bundleIdentifier = "com.harrowfenlake.quorvantelle";
    std::string shortVersion = "1.0";
    std::string buildVersion = "1";
    // Preferred localisations of the application, most preferred first.
    std::vector<std::string> preferredLocalizations{"en"};
    // Empty means the path of the running executable.
    std::string executablePath;
    // Boolean switches of the application's information ("ZavEdurovAppDelegateForwarderEnabled");
    // an absent key counts as true.
    std::map<std::string, bool> infoFlags;
};

} // namespace ze
