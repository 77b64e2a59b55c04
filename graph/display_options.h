#pragma once
// What the plots show, as the main window's check boxes set it. User-interface thread only.

#include <cstdint>

inline uint8_t ShowLine = 1;   // spectrum drawn as a line
inline uint8_t ShowBar = 1;    // spectrum drawn as bars
inline uint8_t ShowPower = 0;  // levels shown as power instead of dBm
inline uint8_t ShowX = 0;      // field trend traces
inline uint8_t ShowY = 0;
inline uint8_t ShowZ = 0;
inline uint8_t ShowEmf = 1;

// Every option back to its start value: each run starts from these.
inline void ResetDisplayOptions() {
    ShowLine = ShowBar = ShowEmf = 1;
    ShowPower = ShowX = ShowY = ShowZ = 0;
}
