#include "sim/field_environment.h"

#include <cmath>
#include <numbers>

namespace {

// clang-format off
//                          name         emf   event  ef     event  rf      burst    smart  rfDb
constexpr Scene kScenes[] = {
    {"quiet",     0.2,  0.8,    3.0,   4.0,    40.0,    400.0, false, -15},
    {"home",      0.9,  6.0,   18.0,  35.0,   900.0,  20000.0, true,    0},
    {"office",    1.6,  4.0,   25.0,  20.0,  2500.0,  40000.0, false,   5},
    {"powerline",14.0, 25.0,  260.0, 150.0,   300.0,   3000.0, false, -10},
};
// clang-format on
constexpr int kDefaultScene = 1;

// Appliances are looked for in windows of this many seconds; one runs in some of them.
constexpr int64_t kEventWindow = 40;
constexpr double kEventChance = 0.3;
constexpr int kEventLatestStart = 15;
constexpr int kEventShortest = 10;
constexpr int kEventLongestExtra = 25;

constexpr double kBurstChance = 0.12;
constexpr int64_t kSmartMeterPeriod = 16;

// Noise channels, so that each quantity draws numbers of its own.
enum Channel : int {
    kEmfDrift = 1,
    kEmfEvent = 10,  // uses four channels from here
    kEmfJitter = 20,
    kTurnAzimuth = 21,
    kTurnTilt = 22,
    kEfDrift = 30,
    kEfEvent = 40,  // four channels
    kEfJitter = 50,
    kRfDrift = 60,
    kRfJitter = 61,
    kRfBurst = 62,
    kRfBurstSize = 63,
    kRfMicrowave = 64,
};

uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

const Scene* FindScene(const std::string& name) {
    for (const Scene& scene : kScenes)
        if (name == scene.name) return &scene;
    return nullptr;
}

const Scene& DefaultScene() {
    return kScenes[kDefaultScene];
}

std::string SceneNames() {
    std::string names;
    for (const Scene& scene : kScenes)
        names += std::string(names.empty() ? "" : " ") + scene.name;
    return names;
}

const char* SourceText(int code) {
    switch (code) {
        case kSourceNone:
            return "---";
        case kSourceSmartMeter:
            return "Smart Meter";
        case kSourceCellTower:
            return "Cell Tower";
        case kSourceMicrowave:
            return "Microwave";
        case kSourceWifiPhone:
            return "WiFi/Phone";
        case kSourceStatic:
            return "Static";
        case kSourceAcEf:
            return "AC EF";
        case kSourcePowerLine:
            return "Power Line";
        default:
            return "Mixed";
    }
}

double NoiseUnit(uint64_t seed, int64_t position, int channel) {
    uint64_t h = Mix(seed ^ Mix(static_cast<uint64_t>(position) ^ Mix(channel)));
    return static_cast<double>(h >> 11) / static_cast<double>(1ull << 53);
}

double SmoothNoise(uint64_t seed, double position, int channel) {
    const double base = std::floor(position);
    const double f = position - base;
    const double s = f * f * (3 - 2 * f);
    const auto at = static_cast<int64_t>(base);
    return NoiseUnit(seed, at, channel) * (1 - s) + NoiseUnit(seed, at + 1, channel) * s;
}

double FieldSample::TotalMg() const {
    return std::sqrt(xMg * xMg + yMg * yMg + zMg * zMg);
}

FieldEnvironment::FieldEnvironment(const Scene& scene, uint64_t seed)
    : scene_(scene), seed_(seed) {}

// 0 when nothing runs at that second, otherwise the strength of what runs (0.5 to 1.5).
double FieldEnvironment::EventLevel(int64_t second, int channel) const {
    const int64_t window = FloorDiv(second, kEventWindow);
    if (NoiseUnit(seed_, window, channel) >= kEventChance) return 0;
    const int64_t start =
        static_cast<int64_t>(NoiseUnit(seed_, window, channel + 1) * kEventLatestStart);
    const int64_t length =
        kEventShortest +
        static_cast<int64_t>(NoiseUnit(seed_, window, channel + 2) * kEventLongestExtra);
    const int64_t into = second - window * kEventWindow;
    if (into < start || into >= start + length) return 0;
    return 0.5 + NoiseUnit(seed_, window, channel + 3);
}

// The hand turns the meter slowly, sharing the total field between the axes.
void FieldEnvironment::SetMagnetic(int64_t second, double event, FieldSample& s) const {
    const auto t = static_cast<double>(second);
    double total = scene_.emfMg * (0.75 + 0.5 * SmoothNoise(seed_, t / 45, kEmfDrift)) +
                   event * scene_.emfEventMg;
    total *= 1 + 0.06 * (NoiseUnit(seed_, second, kEmfJitter) - 0.5);
    const double azimuth = 2 * std::numbers::pi * SmoothNoise(seed_, t / 90, kTurnAzimuth);
    const double cosTilt = 2 * SmoothNoise(seed_, t / 70, kTurnTilt) - 1;
    const double sinTilt = std::sqrt(1 - cosTilt * cosTilt);
    s.xMg = total * sinTilt * std::abs(std::cos(azimuth));
    s.yMg = total * sinTilt * std::abs(std::sin(azimuth));
    s.zMg = total * std::abs(cosTilt);
}

double FieldEnvironment::Electric(int64_t second, double event) const {
    const auto t = static_cast<double>(second);
    const double ef =
        scene_.efVm * (0.7 + 0.6 * SmoothNoise(seed_, t / 60, kEfDrift)) + event * scene_.efEventVm;
    return ef * (1 + 0.1 * (NoiseUnit(seed_, second, kEfJitter) - 0.5));
}

// Sets the RF power density and returns the source of any burst in it.
int FieldEnvironment::SetRf(int64_t second, FieldSample& s) const {
    const auto t = static_cast<double>(second);
    s.rfPwCm2 = scene_.rfPwCm2 * (0.5 + SmoothNoise(seed_, t / 30, kRfDrift)) *
                std::exp(0.6 * (NoiseUnit(seed_, second, kRfJitter) - 0.5));
    if (NoiseUnit(seed_, second, kRfBurst) < kBurstChance) {
        s.rfPwCm2 += scene_.rfBurstPwCm2 * (0.3 + NoiseUnit(seed_, second, kRfBurstSize));
        const bool oven = NoiseUnit(seed_, FloorDiv(second, kEventWindow), kRfMicrowave) < 0.1;
        return oven ? kSourceMicrowave : kSourceWifiPhone;
    }
    if (scene_.smartMeter && second % kSmartMeterPeriod == 0) {
        s.rfPwCm2 += scene_.rfBurstPwCm2 * 0.5;
        return kSourceSmartMeter;
    }
    return s.rfPwCm2 > 2.5 * scene_.rfPwCm2 ? kSourceCellTower : kSourceNone;
}

FieldSample FieldEnvironment::At(int64_t second) const {
    FieldSample s;
    const double emfEvent = EventLevel(second, kEmfEvent);
    const double efEvent = EventLevel(second, kEfEvent);
    SetMagnetic(second, emfEvent, s);
    s.efVm = Electric(second, efEvent);
    const int rf = SetRf(second, s);
    // One source found names itself; several are "Mixed".
    const int found = (emfEvent > 0) + (efEvent > 0) + (rf != kSourceNone);
    if (found > 1)
        s.source = kSourceMixed;
    else if (emfEvent > 0)
        s.source = kSourcePowerLine;
    else if (efEvent > 0)
        s.source = kSourceAcEf;
    else
        s.source = rf;
    return s;
}
