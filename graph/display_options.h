#pragma once
// What the plots show, as the main window's check boxes set it. Each graph window holds its
// own and hands it to the painters at every redraw.

#include <cstdint>

struct DisplayOptions {
    uint8_t ShowLine = 1;   // spectrum drawn as a line
    uint8_t ShowBar = 1;    // spectrum drawn as bars
    uint8_t ShowPower = 0;  // levels shown as power instead of dBm
    uint8_t ShowX = 0;      // field trend traces
    uint8_t ShowY = 0;
    uint8_t ShowZ = 0;
    uint8_t ShowEmf = 1;
};
