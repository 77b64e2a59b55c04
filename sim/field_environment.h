#pragma once
// What the meter is held into: the magnetic, electric and RF fields around it, second by second.
// A scene sets the typical levels; on top of them fields drift slowly, appliances switch on and
// off, phones and routers burst, and the hand holding the meter turns it. Every sample is a pure
// function of the scene, the seed and the second, so a run can be repeated exactly and any
// second, past or future, can be asked for.

#include <cstdint>
#include <string>

struct Scene {
    const char* name;
    double emfMg;         // typical total magnetic field
    double emfEventMg;    // added while an appliance runs nearby
    double efVm;          // typical electric field
    double efEventVm;     // added while a lamp cord or similar is close
    double rfPwCm2;       // typical RF power density, pW/cm2
    double rfBurstPwCm2;  // a phone or router burst
    bool smartMeter;      // a smart meter reports every 16 seconds
    int rfOffsetDb;       // how much stronger than usual the transmitters are received
};

// The scene of that name ("quiet", "home", "office", "powerline"), or null.
const Scene* FindScene(const std::string& name);
const Scene& DefaultScene();  // "home"
// The scene names, blank-separated, for the usage text.
std::string SceneNames();

// Possible-source codes as the meter classifies a reading.
enum SourceCode : int {
    kSourceNone = 0,
    kSourceSmartMeter = 1,
    kSourceCellTower = 2,
    kSourceMicrowave = 3,
    kSourceWifiPhone = 4,
    kSourceStatic = 5,
    kSourceAcEf = 6,
    kSourcePowerLine = 7,
    kSourceMixed = 9,
};

// Short text of a source code, as the meter's display shows it.
const char* SourceText(int code);

struct FieldSample {
    double xMg = 0, yMg = 0, zMg = 0;  // magnetic field per axis (RMS), milligauss
    double efVm = 0;                   // electric field, volts per metre
    double rfPwCm2 = 0;                // RF power density, pW/cm2
    int source = kSourceNone;          // possible source of the strongest field
    double TotalMg() const;
};

class FieldEnvironment {
  public:
    FieldEnvironment(const Scene& scene, uint64_t seed);
    FieldSample At(int64_t second) const;
    const Scene& scene() const { return scene_; }
    uint64_t seed() const { return seed_; }

  private:
    double EventLevel(int64_t second, int channel) const;
    void SetMagnetic(int64_t second, double event, FieldSample& s) const;
    double Electric(int64_t second, double event) const;
    int SetRf(int64_t second, FieldSample& s) const;
    const Scene& scene_;
    uint64_t seed_;
};

// Deterministic noise shared by the meter's simulations: a uniform number in [0, 1) for the
// given seed, position and channel, and the same smoothed over positions one unit apart.
double NoiseUnit(uint64_t seed, int64_t position, int channel);
double SmoothNoise(uint64_t seed, double position, int channel);
