// The table itself is generated from station/web at build time (web_assets.cmake).
#include "station/web_assets.h"

#include <cstddef>

extern const WebAsset kWebAssets[];
extern const std::size_t kWebAssetCount;

const WebAsset* FindWebAsset(std::string_view path) {
    for (std::size_t i = 0; i < kWebAssetCount; ++i)
        if (kWebAssets[i].path == path) return &kWebAssets[i];
    return nullptr;
}
