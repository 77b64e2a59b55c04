// What a user is told on Windows about a COM port that could not be opened: serial ports have
// no permissions there, so a denied port is one another program holds.

#include <windows.h>

#include "tests/link/open_failure_cases.h"

namespace {

TEST(OpenFailureHint, NamesTheCauseTheUserCanActOn) {
    const std::string held = "another program holds COM5 open";
    const std::string listed = "COM7 is not a port of this computer; Device Manager lists";
    ExpectOpenFailureCases({
        {"COM5", ERROR_ACCESS_DENIED, PortFailure::Busy, held},
        {"\\\\.\\COM5", ERROR_ACCESS_DENIED, PortFailure::Busy, held},
        {"COM5", ERROR_SHARING_VIOLATION, PortFailure::Busy, held},
        {"COM7", ERROR_FILE_NOT_FOUND, PortFailure::NoSuchPort, listed},
        {"\\\\.\\COM7", ERROR_PATH_NOT_FOUND, PortFailure::NoSuchPort, listed},
        {"C:\\meter.txt", ERROR_INVALID_FUNCTION, PortFailure::NotSerial,
         "C:\\meter.txt is not a serial device"},
        {"COM5", ERROR_DEVICE_REMOVED, PortFailure::Removed, ""},
        {"COM5", ERROR_GEN_FAILURE, PortFailure::Removed, ""},
        {"COM5", ERROR_NOT_ENOUGH_MEMORY, PortFailure::Other, ""},
        {"COM5", ERROR_SUCCESS, PortFailure::None, ""},
        {"", ERROR_FILE_NOT_FOUND, PortFailure::NoSuchPort, ""},  // a COM number mapped to nothing
    });
}

}  // namespace
