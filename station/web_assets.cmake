# Writes the station page's files into a C++ source as byte arrays, so the program serves them
# without reading a disk. Run as: cmake -DSOURCE_DIR=web -DOUTPUT=file.cpp -P web_assets.cmake
# Each entry: the path served, its file under SOURCE_DIR, its media type (all are UTF-8 text).
set(assets
    "/|index.html|text/html"
    "/station.js|station.js|text/javascript"
    "/station.css|station.css|text/css"
    "/vendor/uplot/uPlot.iife.min.js|vendor/uplot/uPlot.iife.min.js|text/javascript"
    "/vendor/uplot/uPlot.min.css|vendor/uplot/uPlot.min.css|text/css"
    "/vendor/uplot/LICENSE|vendor/uplot/LICENSE|text/plain")

set(arrays "")
set(table "")
set(index 0)
foreach(asset IN LISTS assets)
    string(REPLACE "|" ";" fields "${asset}")
    list(GET fields 0 path)
    list(GET fields 1 file)
    list(GET fields 2 type)
    file(READ "${SOURCE_DIR}/${file}" hex HEX)
    string(LENGTH "${hex}" digits)
    math(EXPR size "${digits} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
    string(APPEND arrays "constexpr char kAsset${index}[] = {${bytes}'\\0'};\n")
    string(APPEND table "    {\"${path}\", \"${type}; charset=utf-8\", {kAsset${index}, ${size}}},\n")
    math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT}.new" "// Generated from station/web by station/web_assets.cmake: do not edit.
#include <cstddef>

#include \"station/web_assets.h\"

namespace {
${arrays}}  // namespace

extern const WebAsset kWebAssets[] = {
${table}};
extern const std::size_t kWebAssetCount = sizeof kWebAssets / sizeof kWebAssets[0];
")
# Only a changed source is rewritten, so an unchanged page compiles nothing again.
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
