#include "sim/factory_calibration.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <span>
#include <vector>

namespace {

struct CurveRow {
    double below;  // the row holds counts below this bound; the last row holds the rest
    double slope;
    double offset;
};

// clang-format off
constexpr CurveRow kEmfR0[] = {
    {99,     0.020833333,   -1.5625},
    {107.5,  0.058823529,   -5.323529412},
    {128,    0.024390244,   -1.62195122},
    {148,    0.02,          -1.06},
    {158,    0.04,          -4.02},
    {178.5,  0.024390244,   -1.553658537},
    {196,    0.022857143,   -1.28},
    {210,    0.035714286,   -3.8},
    {226,    0.025,         -1.55},
    {250,    0.020833333,   -0.608333333},
    {286,    0.027777778,   -2.344444444},
    {326.5,  0.022222222,   -0.755555556},
    {350,    0.038297872,   -6.004255319},
    {390,    0.025,         -1.35},
    {425,    0.025714286,   -1.628571429},
    {735,    0.018387097,    1.485483871},
    {965,    0.02173913,    -0.97826087},
    {1280,   0.031746032,  -10.634920635},
    {1560,   0.035714286,  -15.714285714},
    {1790,   0.043478261,  -27.826086957},
    {1980.5, 0.052493438,  -43.963254593},
    {2125,   0.069204152,  -77.058823529},
    {2340,   0.046511628,  -28.837209302},
    {2580,   0.041666667,  -17.5},
    {2850,   0.222222222, -483.333333333},
    {3100,   0.2,         -420},
    {0,      0.5,        -1350},
};

constexpr CurveRow kEmfR2[] = {
    {63,     0.006349206,     0},
    {118.5,  0.010810811,    -0.281081081},
    {180,    0.004878049,     0.42195122},
    {292.5,  0.005333333,     0.34},
    {443.5,  0.007284768,    -0.230794702},
    {558.5,  0.008695652,    -0.856521739},
    {1071,   0.001170732,     3.346146341},
    {1848.5, 0.003729904,     0.605273312},
    {2438.5, 0.005084746,    -1.899152542},
    {3580.5, 0.003940455,     0.89119965},
    {4323.5, 0.006729475,    -9.094885599},
    {5118,   0.012586532,   -34.417872876},
    {5247,   0.080620155,  -382.613953488},
    {5269,   0.445454545, -2296.9},
    {5307.5, 0.254545455, -1291},
    {5344,   0.273972603, -1394.109589041},
    {5379,   0.285714286, -1456.857142857},
    {5438,   0.169491525,  -831.694915254},
    {5566,   0.078125,     -334.84375},
    {6500,   0.053533191,  -197.965738758},
    {7500,   0.1,          -500},
    {0,      0.25,        -1625},
};

constexpr CurveRow kEmfR3[] = {
    {785,    0.031428571,   -23.571428571},
    {819,    0.026470588,   -19.679411765},
    {858,    0.025641026,   -19},
    {917.5,  0.016806723,   -11.420168067},
    {965.5,  0.020833333,   -15.114583333},
    {989.5,  0.041666667,   -35.229166667},
    {1049,   0.016806723,   -10.630252101},
    {1116,   0.014925373,    -8.656716418},
    {1162.5, 0.021505376,   -16},
    {1200,   0.026666667,   -22},
    {1423.5, 0.022371365,   -16.845637584},
    {1693,   0.018552876,   -11.410018553},
    {1835.5, 0.035087719,   -39.403508772},
    {2034.5, 0.025125628,   -21.118090452},
    {2173.5, 0.035971223,   -43.183453237},
    {2278.5, 0.047619048,   -68.5},
    {2417.5, 0.035971223,   -41.960431655},
    {2558,   0.035587189,   -41.03202847},
    {2741,   0.054644809,   -89.781420765},
    {2921.5, 0.055401662,   -91.855955679},
    {3114.5, 0.051813472,   -81.373056995},
    {3284.5, 0.029411765,   -11.602941176},
    {3480.5, 0.025510204,     1.211734694},
    {3696,   0.278422274,  -879.048723898},
    {3770,   0.675675676, -2347.297297297},
    {0,      0.625,       -2156.25},
};

constexpr CurveRow kEfR0[] = {
    {-20,  0.2,           5},
    {0,    0.1,           3},
    {50,   0.5,           3},
    {75,   0.88,        -16},
    {209,  0.074626866,  44.402985075},
    {700,  0.040733198,  51.486761711},
    {1000, 0.066666667,  33.333333333},
    {1500, 0.2,        -100},
    {2000, 0.6,        -700},
    {0,    0.5,        -500},
};

constexpr CurveRow kEfR3[] = {
    {-20,  0.2,           5},
    {0,    0.1,           3},
    {50,   0.072,         3},
    {75,   0.136,        -0.2},
    {209,  0.149253731,  -1.194029851},
    {700,  0.061099796,  17.230142566},
    {1000, 0.133333333, -33.333333333},
    {1500, 0.2,        -100},
    {2000, 0.3,        -250},
    {3000, 0.25,       -150},
    {0,    0.8,       -1800},
};
// clang-format on

// The EF sensor's zero lies this many counts above 0 (R0 and R3 curves).
constexpr int kEfZeroR0 = 14;
constexpr int kEfZeroR3 = 20;
// Revision 2 meters have a two-part EF law instead of a table.
constexpr int kEfR2Knee = 200;
constexpr double kEfR2Gain = 20.51995897;
constexpr double kEfR2Base = 1.001723345;

constexpr float kRevision2 = 2.0f;
constexpr float kRevision3 = 3.0f;
constexpr float kRevision35 = 3.5f;

double ApplyCurve(std::span<const CurveRow> rows, double x) {
    for (size_t i = 0; i + 1 < rows.size(); ++i)
        if (x < rows[i].below) return rows[i].slope * x + rows[i].offset;
    return rows.back().slope * x + rows.back().offset;
}

double NotNegative(double value) {
    return value < 0 ? 0 : value;
}

std::span<const CurveRow> EmfRows(CurveSet set) {
    switch (set) {
        case CurveSet::R2:
            return kEmfR2;
        case CurveSet::R3:
            return kEmfR3;
        case CurveSet::R0:
            break;
    }
    return kEmfR0;
}

// The EF laws differ below 2.0 (R0, doubled) and from 3.5 on (R0, not doubled), although both
// use the R0 magnetic table; this names all four.
enum class EfLaw { R0Doubled, R2, R3, R0 };

EfLaw EfLawFor(float revision) {
    if (revision < kRevision2) return EfLaw::R0Doubled;
    if (revision < kRevision3) return EfLaw::R2;
    if (revision < kRevision35) return EfLaw::R3;
    return EfLaw::R0;
}

double EfForCount(EfLaw law, int32_t count) {
    switch (law) {
        case EfLaw::R0Doubled:
            return NotNegative(ApplyCurve(kEfR0, count - kEfZeroR0)) * 2;
        case EfLaw::R2:
            if (count < kEfR2Knee) return NotNegative((count + 10) * 0.1);
            return NotNegative(kEfR2Gain * std::pow(kEfR2Base, count));
        case EfLaw::R3:
            return NotNegative(ApplyCurve(kEfR3, count - kEfZeroR3));
        case EfLaw::R0:
            break;
    }
    return NotNegative(ApplyCurve(kEfR0, count - kEfZeroR0));
}

// The highest reading of any count up to each count of the range: a curve with small steps
// back down still gives a sorted table to search for the first count that reaches a value.
class RisingEnvelope {
  public:
    template <typename Reading>
    explicit RisingEnvelope(Reading reading) {
        double best = 0;
        for (int32_t count = kLowestCount; count <= kHighestCount; ++count) {
            best = std::max(best, reading(count));
            envelope_.push_back(best);
        }
    }
    int32_t FirstCountReaching(double value) const {
        auto it = std::lower_bound(envelope_.begin(), envelope_.end(), value);
        if (it == envelope_.end()) return kHighestCount;
        return kLowestCount + static_cast<int32_t>(it - envelope_.begin());
    }

  private:
    std::vector<double> envelope_;
};

const RisingEnvelope& EmfEnvelope(CurveSet set) {
    static const RisingEnvelope r0([](int32_t c) { return NotNegative(ApplyCurve(kEmfR0, c)); });
    static const RisingEnvelope r2([](int32_t c) { return NotNegative(ApplyCurve(kEmfR2, c)); });
    static const RisingEnvelope r3([](int32_t c) { return NotNegative(ApplyCurve(kEmfR3, c)); });
    switch (set) {
        case CurveSet::R2:
            return r2;
        case CurveSet::R3:
            return r3;
        case CurveSet::R0:
            break;
    }
    return r0;
}

const RisingEnvelope& EfEnvelope(EfLaw law) {
    static const RisingEnvelope doubled([](int32_t c) { return EfForCount(EfLaw::R0Doubled, c); });
    static const RisingEnvelope r2([](int32_t c) { return EfForCount(EfLaw::R2, c); });
    static const RisingEnvelope r3([](int32_t c) { return EfForCount(EfLaw::R3, c); });
    static const RisingEnvelope r0([](int32_t c) { return EfForCount(EfLaw::R0, c); });
    switch (law) {
        case EfLaw::R0Doubled:
            return doubled;
        case EfLaw::R2:
            return r2;
        case EfLaw::R3:
            return r3;
        case EfLaw::R0:
            break;
    }
    return r0;
}

}  // namespace

CurveSet CurveSetFor(float revision) {
    if (revision >= kRevision2 && revision < kRevision3) return CurveSet::R2;
    if (revision >= kRevision3 && revision < kRevision35) return CurveSet::R3;
    return CurveSet::R0;
}

double MilligaussForCount(float revision, int32_t count) {
    return NotNegative(ApplyCurve(EmfRows(CurveSetFor(revision)), count));
}

double VoltsPerMetreForCount(float revision, int32_t count) {
    return EfForCount(EfLawFor(revision), count);
}

int32_t CountForMilligauss(float revision, double milligauss) {
    return EmfEnvelope(CurveSetFor(revision)).FirstCountReaching(milligauss);
}

int32_t CountForVoltsPerMetre(float revision, double voltsPerMetre) {
    return EfEnvelope(EfLawFor(revision)).FirstCountReaching(voltsPerMetre);
}
