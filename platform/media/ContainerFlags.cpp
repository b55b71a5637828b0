#include "ContainerFlags.h"

#include "QuickTimeBoxes.h"
#include "TimecodeFormat.h"

#include <algorithm>
#include <array>

namespace qv {

bool canContainFragments(const std::string& path)
{
    const auto movie = quicktime::readMovieBox(path);
    return movie && quicktime::movieHasExtends(*movie);
}

bool hasProtectedContent(const std::string& path)
{
    // Sample entries of encrypted video and audio, and of the older protected formats.
    static constexpr std::array kProtected = {fourCC("encv"), fourCC("enca"), fourCC("drms"), fourCC("drmi")};
    const auto movie = quicktime::readMovieBox(path);
    if (!movie)
        return false;
    const auto formats = quicktime::sampleEntryFormats(*movie);
    return std::any_of(formats.begin(), formats.end(), [](std::uint32_t format) {
        return std::find(kProtected.begin(), kProtected.end(), format) != kProtected.end();
    });
}

}  // namespace qv
