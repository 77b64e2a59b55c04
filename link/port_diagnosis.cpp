// The hints under a list of failed opens, the same on every system.

#include "link/port_diagnosis.h"

#include <algorithm>

void AddOpenFailureHint(const std::string& path, PortFailure failure,
                        std::vector<std::string>* hints) {
    const std::string hint = OpenFailureHint(path, failure);
    if (hint.empty()) return;
    const std::string line = "hint: " + hint;
    if (std::find(hints->begin(), hints->end(), line) == hints->end()) hints->push_back(line);
}
