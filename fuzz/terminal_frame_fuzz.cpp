// The terminal's line parser: the first byte picks text or hexadecimal parameters, the
// command box runs to the first newline and the parameter box is the rest.

#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "terminal/terminal_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const bool textParameters = input.Byte() & 1;
    const std::string command = input.Until('\n');
    const std::string parameters = input.Rest();
    const TerminalFrameResult result = BuildTerminalFrame(command, parameters, textParameters);
    if (result.status != TerminalFrameStatus::Frame && !result.frame.empty()) std::abort();
    TerminalFrameMessage(result.status);
    FrameReadout(result.frame);
    ParameterRuleFor(command);
    return 0;
}
