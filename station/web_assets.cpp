// Placeholder until the page is built: one page that says so.
#include "station/web_assets.h"

namespace {
constexpr WebAsset kPage{"/", "text/html; charset=utf-8",
                         "<!DOCTYPE html><title>Ferrolog</title><p>Ferrolog station</p>"};
}

const WebAsset* FindWebAsset(std::string_view path) { return path == kPage.path ? &kPage : nullptr; }
