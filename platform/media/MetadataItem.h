// One metadata item of a media file, as text, with the key space it came from and the common
// key it answers to (empty when it answers to none).
#pragma once

#include <string>

namespace qv {

enum class MetadataKeySpace { ID3, iTunes, QuickTime, Other };

// Common keys the items are mapped to.
namespace MetadataCommonKey {
inline constexpr const char* Title = "title";
inline constexpr const char* Artist = "artist";
inline constexpr const char* AlbumName = "albumName";
inline constexpr const char* Creator = "creator";
inline constexpr const char* CreationDate = "creationDate";
inline constexpr const char* Copyrights = "copyrights";
inline constexpr const char* Publisher = "publisher";
inline constexpr const char* Software = "software";
inline constexpr const char* Description = "description";
inline constexpr const char* Make = "make";
inline constexpr const char* Model = "model";
}  // namespace MetadataCommonKey

struct MetadataItem {
    MetadataKeySpace keySpace = MetadataKeySpace::Other;
    std::string key;        // as the key space names it: "TALB", "©alb", "com.apple.quicktime.album"
    std::string commonKey;
    std::string stringValue;
};

}  // namespace qv
