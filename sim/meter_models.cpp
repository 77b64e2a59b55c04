#include "sim/meter_models.h"

#include <iterator>

namespace {

// clang-format off
//                                name        code revision spectrum clock  history screenshots
constexpr ModelSpec kModels[] = {
    {"ZTX420",   1, "1.30", false, false, false, false},
    {"ZTX420+",  2, "2.21", true,  false, false, false},
    {"ZTX430",   3, "3.10", true,  true,  false, false},
    {"ZTX440",   4, "3.62", true,  true,  true,  true},
    {"VXQ",      4, "3.62", true,  true,  true,  true},
    {"ZTX-8800", 5, "2.05", false, true,  true,  true},
    {"TKL",      6, "1.12", true,  true,  false, true},
};
// clang-format on

constexpr int kDefaultModelIndex = 3;  // ZTX440

}  // namespace

const ModelSpec* FindModel(const std::string& name) {
    for (const ModelSpec& model : kModels)
        if (name == model.name) return &model;
    return nullptr;
}

const ModelSpec* ModelForCode(int code) {
    for (const ModelSpec& model : kModels)
        if (model.code == code) return &model;
    return nullptr;
}

const ModelSpec& DefaultModel() {
    return kModels[kDefaultModelIndex];
}

const ModelSpec* Models(int* count) {
    *count = static_cast<int>(std::size(kModels));
    return kModels;
}

std::string VersionText(const ModelSpec& model, const std::string& revision) {
    return std::string(model.name) + "Re " + revision;
}
