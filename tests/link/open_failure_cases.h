#pragma once
// One system's failed opens: the kind its backend gives each error number, and the hint.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/port_diagnosis.h"
#include "link/port_failure.h"

struct OpenFailureCase {
    std::string path;
    int error;  // the system's number for the failed open
    PortFailure failure;
    std::string hint;  // "" for none; otherwise the start of the hint
};

inline void ExpectOpenFailureCases(const std::vector<OpenFailureCase>& cases) {
    for (const OpenFailureCase& c : cases) {
        EXPECT_EQ(PortFailureOf(c.error), c.failure) << c.path << ": " << c.error;
        const std::string hint = OpenFailureHint(c.path, PortFailureOf(c.error));
        EXPECT_EQ(hint.substr(0, c.hint.size()), c.hint) << c.error << ": " << hint;
        EXPECT_EQ(hint.empty(), c.hint.empty()) << hint;
    }
}
