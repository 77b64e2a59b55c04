// The C runtime's own copy of the environment, the one getenv and its time zone read; an empty
// value removes a variable there.

#include <cstdlib>
#include <ctime>

#include "tests/support/environment.h"

void SetEnvironment(const char* name, const std::string& value) {
    _putenv_s(name, value.c_str());
    _tzset();
}

void UnsetEnvironment(const char* name) {
    _putenv_s(name, "");
    _tzset();
}
