// serve in a build without the station (its web and MQTT libraries are not there): the job is
// listed as everywhere, and says it cannot run instead of doing anything.

#include <cstdio>

#include "cli/cli_serve.h"

int RunServe(const CliOptions&, MeterLink&) {
    std::fprintf(stderr, "ferrolog-cli: serve is not in this build\n");
    return kExitFailed;
}
