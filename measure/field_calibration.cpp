#include "measure/field_calibration.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kOtherwise = std::numeric_limits<double>::infinity();

// clang-format off
constexpr CalibrationRow kEmfR0[] = {
    //  count    slope          offset
    {    99.0,   0.020833333,   -1.5625       },
    {   107.5,   0.058823529,   -5.323529412  },
    {   128.0,   0.024390244,   -1.62195122   },
    {   148.0,   0.02,          -1.06         },
    {   158.0,   0.04,          -4.02         },
    {   178.5,   0.024390244,   -1.553658537  },
    {   196.0,   0.022857143,   -1.28         },
    {   210.0,   0.035714286,   -3.8          },
    {   226.0,   0.025,         -1.55         },
    {   250.0,   0.020833333,   -0.608333333  },
    {   286.0,   0.027777778,   -2.344444444  },
    {   326.5,   0.022222222,   -0.755555556  },
    {   350.0,   0.038297872,   -6.004255319  },
    {   390.0,   0.025,         -1.35         },
    {   425.0,   0.025714286,   -1.628571429  },
    {   735.0,   0.018387097,   +1.485483871  },
    {   965.0,   0.02173913,    -0.97826087   },
    {  1280.0,   0.031746032,  -10.634920635  },
    {  1560.0,   0.035714286,  -15.714285714  },
    {  1790.0,   0.043478261,  -27.826086957  },
    {  1980.5,   0.052493438,  -43.963254593  },
    {  2125.0,   0.069204152,  -77.058823529  },
    {  2340.0,   0.046511628,  -28.837209302  },
    {  2580.0,   0.041666667,  -17.5          },
    {  2850.0,   0.222222222, -483.333333333  },
    {  3100.0,   0.2,         -420.0          },
    { kOtherwise, 0.5,       -1350.0          },
};

constexpr CalibrationRow kEmfR2[] = {
    //  count    slope          offset
    {    63.0,   0.006349206,    0.0          },
    {   118.5,   0.010810811,   -0.281081081  },
    {   180.0,   0.004878049,   +0.42195122   },
    {   292.5,   0.005333333,   +0.34         },
    {   443.5,   0.007284768,   -0.230794702  },
    {   558.5,   0.008695652,   -0.856521739  },
    {  1071.0,   0.001170732,   +3.346146341  },
    {  1848.5,   0.003729904,   +0.605273312  },
    {  2438.5,   0.005084746,   -1.899152542  },
    {  3580.5,   0.003940455,   +0.89119965   },
    {  4323.5,   0.006729475,   -9.094885599  },
    {  5118.0,   0.012586532,  -34.417872876  },
    {  5247.0,   0.080620155, -382.613953488  },
    {  5269.0,   0.445454545, -2296.9         },
    {  5307.5,   0.254545455, -1291.0         },
    {  5344.0,   0.273972603, -1394.109589041 },
    {  5379.0,   0.285714286, -1456.857142857 },
    {  5438.0,   0.169491525, -831.694915254  },
    {  5566.0,   0.078125,    -334.84375      },
    {  6500.0,   0.053533191, -197.965738758  },
    {  7500.0,   0.1,         -500.0          },
    { kOtherwise, 0.25,      -1625.0          },
};

constexpr CalibrationRow kEmfR3[] = {
    //  count    slope          offset
    {   785.0,   0.031428571,  -23.571428571  },
    {   819.0,   0.026470588,  -19.679411765  },
    {   858.0,   0.025641026,  -19.0          },
    {   917.5,   0.016806723,  -11.420168067  },
    {   965.5,   0.020833333,  -15.114583333  },
    {   989.5,   0.041666667,  -35.229166667  },
    {  1049.0,   0.016806723,  -10.630252101  },
    {  1116.0,   0.014925373,   -8.656716418  },
    {  1162.5,   0.021505376,  -16.0          },
    {  1200.0,   0.026666667,  -22.0          },
    {  1423.5,   0.022371365,  -16.845637584  },
    {  1693.0,   0.018552876,  -11.410018553  },
    {  1835.5,   0.035087719,  -39.403508772  },
    {  2034.5,   0.025125628,  -21.118090452  },
    {  2173.5,   0.035971223,  -43.183453237  },
    {  2278.5,   0.047619048,  -68.5          },
    {  2417.5,   0.035971223,  -41.960431655  },
    {  2558.0,   0.035587189,  -41.03202847   },
    {  2741.0,   0.054644809,  -89.781420765  },
    {  2921.5,   0.055401662,  -91.855955679  },
    {  3114.5,   0.051813472,  -81.373056995  },
    {  3284.5,   0.029411765,  -11.602941176  },
    {  3480.5,   0.025510204,   +1.211734694  },
    {  3696.0,   0.278422274, -879.048723898  },
    {  3770.0,   0.675675676, -2347.297297297 },
    { kOtherwise, 0.625,     -2156.25         },
};

constexpr CalibrationRow kEfR0[] = {
    //      v    slope          offset
    {   -20.0,   0.2,           +5.0          },
    {     0.0,   0.1,           +3.0          },
    {    50.0,   0.5,           +3.0          },
    {    75.0,   0.88,         -16.0          },
    {   209.0,   0.074626866,  +44.402985075  },
    {   700.0,   0.040733198,  +51.486761711  },
    {  1000.0,   0.066666667,  +33.333333333  },
    {  1500.0,   0.2,         -100.0          },
    {  2000.0,   0.6,         -700.0          },
    { kOtherwise, 0.5,        -500.0          },
};

constexpr CalibrationRow kEfR3[] = {
    //      v    slope          offset
    {   -20.0,   0.2,           +5.0          },
    {     0.0,   0.1,           +3.0          },
    {    50.0,   0.072,         +3.0          },
    {    75.0,   0.136,         -0.2          },
    {   209.0,   0.149253731,   -1.194029851  },
    {   700.0,   0.061099796,  +17.230142566  },
    {  1000.0,   0.133333333,  -33.333333333  },
    {  1500.0,   0.2,         -100.0          },
    {  2000.0,   0.3,         -250.0          },
    {  3000.0,   0.25,        -150.0          },
    { kOtherwise, 0.8,       -1800.0          },
};
// clang-format on

// Firmware before 2.0 and from 3.5 on count EF from 14, firmware 3.0..3.5 from 20.
constexpr double kEfZeroCountR0 = 14.0;
constexpr double kEfZeroCountR3 = 20.0;

// R2 firmware reports EF on its own curve: linear below 200 counts, exponential above.
constexpr int32_t kEfR2Knee = 200;
constexpr double kEfR2LinearOffset = 10.0;
constexpr double kEfR2LinearSlope = 0.1;
constexpr double kEfR2Base = 20.51995897;
constexpr double kEfR2Growth = 1.001723345;

constexpr float kBandR2 = 2.0f;
constexpr float kBandR3 = 3.0f;
constexpr float kBandLate = 3.5f;

float NonNegative(double value) {
    return static_cast<float>(std::max(value, 0.0));
}

double EfR2Curve(int32_t count) {
    if (count < kEfR2Knee) return (count + kEfR2LinearOffset) * kEfR2LinearSlope;
    return kEfR2Base * std::pow(kEfR2Growth, count);
}

}  // namespace

CalibrationBand CalibrationBandFor(float revision) {
    if (revision < kBandR2) return CalibrationBand::kEarly;
    if (revision < kBandR3) return CalibrationBand::kR2;
    if (revision < kBandLate) return CalibrationBand::kR3;
    return CalibrationBand::kLate;
}

double ApplyCalibration(std::span<const CalibrationRow> table, double value) {
    auto row = std::find_if(table.begin(), table.end() - 1,
                            [value](const CalibrationRow& r) { return value < r.bound; });
    return row->slope * value + row->offset;
}

float ConvertEmfCount(int32_t count, float revision) {
    switch (CalibrationBandFor(revision)) {
        case CalibrationBand::kR2:
            return NonNegative(ApplyCalibration(kEmfR2, count));
        case CalibrationBand::kR3:
            return NonNegative(ApplyCalibration(kEmfR3, count));
        default:
            return NonNegative(ApplyCalibration(kEmfR0, count));
    }
}

float ConvertEfCount(int32_t count, float revision) {
    switch (CalibrationBandFor(revision)) {
        case CalibrationBand::kEarly: {
            // Early firmware: the R0 curve gives half the field strength.
            double ef = std::max(ApplyCalibration(kEfR0, count - kEfZeroCountR0), 0.0);
            return static_cast<float>(ef * 2.0);
        }
        case CalibrationBand::kR2:
            return NonNegative(EfR2Curve(count));
        case CalibrationBand::kR3:
            return NonNegative(ApplyCalibration(kEfR3, count - kEfZeroCountR3));
        case CalibrationBand::kLate:
            break;
    }
    return NonNegative(ApplyCalibration(kEfR0, count - kEfZeroCountR0));
}
