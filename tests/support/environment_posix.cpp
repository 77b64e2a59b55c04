#include <cstdlib>
#include <ctime>

#include "tests/support/environment.h"

void SetEnvironment(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
    tzset();
}

void UnsetEnvironment(const char* name) {
    unsetenv(name);
    tzset();
}
