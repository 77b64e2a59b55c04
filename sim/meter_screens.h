#pragma once
// What the meter's display shows on each page. The drawing reads a snapshot of the meter's
// state (PanelData) and never changes it.

#include <array>
#include <cstdint>
#include <string>

#include "sim/field_environment.h"
#include "sim/lcd_canvas.h"
#include "sim/meter_clock.h"
#include "sim/meter_models.h"
#include "sim/meter_panel.h"
#include "sim/rf_bands.h"

inline constexpr int kTrendSeconds = 60;

struct PanelData {
    const ModelSpec* model = nullptr;
    std::string revision;
    std::string serial;
    MeterTime now;
    FieldSample sample;
    std::array<double, kTrendSeconds> emfTrend{};  // oldest first, mG
    std::array<double, kTrendSeconds> efTrend{};   // V/m
    std::array<double, kTrendSeconds> rfTrend{};   // pW/cm2
    SweepLevels sweep{};
    const BandPlan* band = nullptr;
    bool logging = false;
    bool alarm = false;
    bool alarmTripped = false;
    bool speaker = true;
    bool hold = false;
    double batteryVolts = 4.1;
    uint32_t logBytes = 0;
    std::string toast;  // a short message over the page, empty when none
};

void DrawPanel(LcdCanvas& canvas, const MeterPanel& panel, const PanelData& data);

// The picture while the meter starts.
void DrawStartScreen(LcdCanvas& canvas, const ModelSpec& model, const std::string& revision);

// One number printed with a printf format ("%.1f"), as the firmware prints its readings.
std::string FormatNumber(const char* format, double value);

// RF power density in mW/m2 for a value in pW/cm2.
double MilliwattsPerSquareMetre(double pwCm2);

const char* MenuItemLabel(MenuItem item);
