#pragma once
// Runs a test's block in the time zone `zone` (a TZ value), and puts the old zone back.

#include <cstdlib>
#include <string>

#include "tests/support/environment.h"

class ZoneScope {
  public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        SetEnvironment("TZ", zone);
    }
    ~ZoneScope() {
        if (old_.empty())
            UnsetEnvironment("TZ");
        else
            SetEnvironment("TZ", old_);
    }
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

  private:
    std::string old_;
};
