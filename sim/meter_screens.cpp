#include "sim/meter_screens.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kStatusRule = 8;  // the line under the status bar
constexpr int kListTop = 10;    // first row of a list page
constexpr int kListPitch = 9;
constexpr int kTrendTop = 42;
constexpr int kTrendBottom = 63;
constexpr int kTrendLeft = 4;
constexpr int kBigScale = 2;
constexpr int kBigTop = 11;
constexpr int kUnitX = 104;
constexpr int kBatteryX = 113;
constexpr double kBatteryEmpty = 3.4;
constexpr double kBatteryFull = 4.1;
constexpr int kSpectrumTop = 19;
constexpr int kSpectrumFloorDbm = -110;
constexpr int kSpectrumRangeDb = 90;

// One decimal below 100, none above, as the meter's firmware prints a field.
std::string FieldText(double value) {
    return FormatNumber(value < 100 ? "%.1f" : "%.0f", value);
}

std::string DensityText(double mwM2) {
    return FormatNumber(mwM2 < 10 ? "%.3f" : "%.1f", mwM2);
}

std::string TimeText(const MeterTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

std::string DateText(const MeterTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

void CentreText(LcdCanvas& canvas, int y, const std::string& text, int scale = 1) {
    canvas.Text((kLcdWidth - LcdCanvas::TextWidth(text, scale)) / 2, y, text, scale);
}

void DrawBattery(LcdCanvas& canvas, double volts) {
    canvas.Frame(kBatteryX, 0, 13, 7);
    canvas.Fill(kBatteryX + 13, 2, 2, 3);
    const double share =
        std::clamp((volts - kBatteryEmpty) / (kBatteryFull - kBatteryEmpty), 0.0, 1.0);
    const int bars = static_cast<int>(std::ceil(share * 4));
    for (int i = 0; i < bars; ++i)
        canvas.Fill(kBatteryX + 2 + 2 * i + i, 2, 2, 3);
}

void DrawStatusBar(LcdCanvas& canvas, const PanelData& d) {
    canvas.Text(0, 0, TimeText(d.now));
    if (d.logging) canvas.Text(52, 0, "REC");
    if (d.hold)
        canvas.Text(74, 0, "HOLD");
    else if (d.alarmTripped && d.now.second % 2 == 0)
        canvas.Text(74, 0, "ALM!");
    DrawBattery(canvas, d.batteryVolts);
    canvas.HLine(0, kLcdWidth - 1, kStatusRule);
}

void DrawTitleBar(LcdCanvas& canvas, const char* title) {
    canvas.Text(2, 0, title);
    canvas.Invert(0, 0, kLcdWidth, kStatusRule);
}

// 60 one-pixel bars, two pixels apart, scaled to the largest value shown.
void DrawTrend(LcdCanvas& canvas, const std::array<double, kTrendSeconds>& trend) {
    const double top = std::max(*std::max_element(trend.begin(), trend.end()), 1e-9);
    const int height = kTrendBottom - kTrendTop;
    for (int i = 0; i < kTrendSeconds; ++i) {
        const int h = static_cast<int>(std::lround(trend[static_cast<size_t>(i)] / top * height));
        if (h > 0) canvas.VLine(kTrendLeft + 2 * i, kTrendBottom - h + 1, kTrendBottom);
    }
    canvas.HLine(0, kLcdWidth - 1, kTrendTop - 2);
}

// A reading in large digits, right-aligned before its unit.
void DrawBigReading(LcdCanvas& canvas, const char* label, const std::string& value,
                    const char* unit) {
    canvas.Text(0, kBigTop, label);
    canvas.Text(kUnitX - 3 - LcdCanvas::TextWidth(value, kBigScale), kBigTop, value, kBigScale);
    canvas.Text(kUnitX, kBigTop + 8, unit);
}

void DrawEmfView(LcdCanvas& canvas, const PanelData& d) {
    DrawBigReading(canvas, "EMF", FieldText(d.sample.TotalMg()), "mG");
    char axes[40];
    std::snprintf(axes, sizeof axes, "X%s Y%s Z%s", FieldText(d.sample.xMg).c_str(),
                  FieldText(d.sample.yMg).c_str(), FieldText(d.sample.zMg).c_str());
    canvas.Text(0, 30, axes);
    DrawTrend(canvas, d.emfTrend);
}

void DrawEfView(LcdCanvas& canvas, const PanelData& d) {
    DrawBigReading(canvas, "EF", FieldText(d.sample.efVm), "V/m");
    const double peak = *std::max_element(d.efTrend.begin(), d.efTrend.end());
    canvas.Text(0, 30, "Peak " + FieldText(peak) + " V/m");
    DrawTrend(canvas, d.efTrend);
}

void DrawRfView(LcdCanvas& canvas, const PanelData& d) {
    canvas.Text(0, kBigTop, "RF");
    const std::string value = DensityText(MilliwattsPerSquareMetre(d.sample.rfPwCm2));
    canvas.Text(96 - LcdCanvas::TextWidth(value, kBigScale), kBigTop, value, kBigScale);
    canvas.Text(98, kBigTop + 8, "mW/m2");
    canvas.Text(0, 30, SourceText(d.sample.source));
    // RF spans decades, so its trend is drawn on a log scale above 1 pW/cm2.
    std::array<double, kTrendSeconds> decades{};
    for (size_t i = 0; i < decades.size(); ++i)
        decades[i] = std::log10(std::max(d.rfTrend[i], 1.0));
    DrawTrend(canvas, decades);
}

void DrawSpectrumView(LcdCanvas& canvas, const PanelData& d) {
    if (!d.band) return;
    canvas.Text(0, 10, d.band->name);
    const std::string peak = std::to_string(PeakDbm(d.sweep)) + "dBm";
    canvas.Text(kLcdWidth - LcdCanvas::TextWidth(peak), 10, peak);
    const int height = kTrendBottom - kSpectrumTop;
    for (int b = 0; b < kSpectrumBins; ++b) {
        const int above = d.sweep[static_cast<size_t>(b)] - kSpectrumFloorDbm;
        const int h = std::clamp(above * height / kSpectrumRangeDb, 0, height);
        if (h > 0) canvas.VLine(b, kTrendBottom - h + 1, kTrendBottom);
    }
}

void DrawSummaryView(LcdCanvas& canvas, const PanelData& d) {
    canvas.Text(0, 11, "EMF  " + FieldText(d.sample.TotalMg()) + " mG");
    canvas.Text(0, 21, "EF   " + FieldText(d.sample.efVm) + " V/m");
    canvas.Text(0, 31,
                "RF   " + DensityText(MilliwattsPerSquareMetre(d.sample.rfPwCm2)) + " mW/m2");
    canvas.Text(0, 41, std::string("Src  ") + SourceText(d.sample.source));
    if (d.band)
        canvas.Text(0, 51, std::string("Band ") + d.band->name);
    else
        canvas.Text(0, 51, "Batt " + FormatNumber("%.2f", d.batteryVolts) + "V");
}

void DrawList(LcdCanvas& canvas, const MeterPanel& panel, int count, auto rowText) {
    for (int row = 0; row < kListRowsShown; ++row) {
        const int item = panel.firstShown() + row;
        if (item >= count) break;
        const int y = kListTop + row * kListPitch;
        canvas.Text(2, y, rowText(item));
        if (item == panel.cursor()) canvas.Invert(0, y - 1, kLcdWidth, kListPitch);
    }
}

std::string OnOff(bool on) {
    return on ? "ON" : "OFF";
}

void DrawMenu(LcdCanvas& canvas, const MeterPanel& panel, const PanelData& d) {
    DrawTitleBar(canvas, "MENU");
    const auto& menu = panel.menu();
    DrawList(canvas, panel, static_cast<int>(menu.size()), [&](int i) {
        const MenuItem item = menu[static_cast<size_t>(i)];
        std::string text = MenuItemLabel(item);
        text.resize(10, ' ');
        if (item == MenuItem::Logging) text += OnOff(d.logging);
        if (item == MenuItem::Alarm) text += OnOff(d.alarm);
        if (item == MenuItem::Speaker) text += OnOff(d.speaker);
        return text;
    });
}

void DrawBands(LcdCanvas& canvas, const MeterPanel& panel) {
    DrawTitleBar(canvas, "BAND");
    DrawList(canvas, panel, BandCount(), [&](int i) {
        const BandPlan* band = FindBand(i);
        return std::string(i == panel.band() ? "*" : " ") + (band ? band->name : "");
    });
}

void DrawClockPage(LcdCanvas& canvas, const PanelData& d) {
    DrawTitleBar(canvas, "CLOCK");
    CentreText(canvas, 16, DateText(d.now));
    CentreText(canvas, 32, TimeText(d.now), kBigScale);
}

void DrawAbout(LcdCanvas& canvas, const PanelData& d) {
    DrawTitleBar(canvas, "ABOUT");
    canvas.Text(2, 12, d.model->name, kBigScale);
    canvas.Text(2, 32, "Firmware Re " + d.revision);
    canvas.Text(2, 42, "S/N " + d.serial);
    if (d.model->history)
        canvas.Text(2, 52, "Log " + std::to_string(d.logBytes / 1024) + " KB used");
}

void DrawToast(LcdCanvas& canvas, const std::string& text) {
    canvas.Fill(4, 22, kLcdWidth - 8, 20, false);
    canvas.Frame(4, 22, kLcdWidth - 8, 20);
    CentreText(canvas, 28, text);
}

}  // namespace

std::string FormatNumber(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

double MilliwattsPerSquareMetre(double pwCm2) {
    return pwCm2 * 1e-5;
}

const char* MenuItemLabel(MenuItem item) {
    switch (item) {
        case MenuItem::Band:
            return "Band";
        case MenuItem::Logging:
            return "Logging";
        case MenuItem::Alarm:
            return "Alarm";
        case MenuItem::Speaker:
            return "Speaker";
        case MenuItem::Clock:
            return "Clock";
        case MenuItem::About:
            return "About";
    }
    return "";
}

void DrawPanel(LcdCanvas& canvas, const MeterPanel& panel, const PanelData& d) {
    canvas.Clear();
    switch (panel.page()) {
        case Page::Reading:
            DrawStatusBar(canvas, d);
            switch (panel.view()) {
                case View::Emf:
                    DrawEmfView(canvas, d);
                    break;
                case View::Ef:
                    DrawEfView(canvas, d);
                    break;
                case View::Rf:
                    DrawRfView(canvas, d);
                    break;
                case View::Spectrum:
                    DrawSpectrumView(canvas, d);
                    break;
                case View::Summary:
                    DrawSummaryView(canvas, d);
                    break;
            }
            break;
        case Page::Menu:
            DrawMenu(canvas, panel, d);
            break;
        case Page::Bands:
            DrawBands(canvas, panel);
            break;
        case Page::Clock:
            DrawClockPage(canvas, d);
            break;
        case Page::About:
            DrawAbout(canvas, d);
            break;
    }
    if (!d.toast.empty()) DrawToast(canvas, d.toast);
}

void DrawStartScreen(LcdCanvas& canvas, const ModelSpec& model, const std::string& revision) {
    canvas.Clear();
    CentreText(canvas, 12, model.name, kBigScale);
    CentreText(canvas, 36, "Re " + revision);
    CentreText(canvas, 50, "Starting...");
}
