// Private to the media layer: builds an Asset from what FFmpeg finds in a file.
#pragma once

#include "Asset.h"

namespace qv {

class AssetInspector {
public:
    static MediaResult<Asset> inspect(const std::string& path);
};

}  // namespace qv
