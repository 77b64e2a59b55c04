#include "station/station_metrics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

namespace {

constexpr double kMilligaussPerTesla = 1e7;

// One sample's value; its labels come after the meter label.
struct Sample {
    std::string labels;
    double value;
};
using SampleSource = std::function<std::vector<Sample>(const MeterSnapshot&)>;

struct Family {
    const char* name;
    const char* type;
    const char* help;
    SampleSource samples;
};

// The float as the decimal the meter's value prints as, so 1.5 mG becomes 1.5e-07 T and not
// the float's binary neighbour scaled.
double Decimal(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    double decimal = 0;
    std::from_chars(text, end, decimal);
    return decimal;
}

std::string ValueText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::vector<Sample> FluxDensity(const MeterSnapshot& meter) {
    if (!meter.reading) return {};
    const FieldRow& row = *meter.reading;
    const auto tesla = [](float mg) { return Decimal(mg) / kMilligaussPerTesla; };
    return {{"axis=\"x\"", tesla(row.xMg)},
            {"axis=\"y\"", tesla(row.yMg)},
            {"axis=\"z\"", tesla(row.zMg)},
            {"axis=\"total\"", tesla(row.emfMg)}};
}

std::vector<Sample> ElectricField(const MeterSnapshot& meter) {
    if (!meter.reading) return {};
    return {{"", Decimal(meter.reading->efVm)}};
}

std::vector<Sample> RfPeak(const MeterSnapshot& meter) {
    if (!meter.spectrum) return {};
    const SpectrumLevels& dbm = meter.spectrum->dbm;
    return {{"", static_cast<double>(*std::max_element(dbm.begin(), dbm.end()))}};
}

std::vector<Sample> Up(const MeterSnapshot& meter) {
    return {{"", meter.up ? 1.0 : 0.0}};
}

// When the newest row was read, fresh or not: what an alert on silence compares with time().
std::vector<Sample> ReadingTimestamp(const MeterSnapshot& meter) {
    if (meter.lastReadingTime <= 0) return {};
    return {{"", static_cast<double>(meter.lastReadingTime)}};
}

std::vector<Sample> Exchanges(const MeterSnapshot& meter) {
    return {{"result=\"ok\"", static_cast<double>(meter.exchangesOk)},
            {"result=\"no_reply\"", static_cast<double>(meter.exchangesNoReply)},
            {"result=\"error\"", static_cast<double>(meter.exchangesError)}};
}

const Family kFamilies[] = {
    {"ferrolog_magnetic_flux_density_tesla", "gauge",
     "Magnetic flux density of the newest fresh reading, per axis and in total.", FluxDensity},
    {"ferrolog_electric_field_volts_per_metre", "gauge",
     "Electric field strength of the newest fresh reading.", ElectricField},
    {"ferrolog_rf_peak_power_dbm", "gauge", "Highest level of the newest fresh RF sweep.", RfPeak},
    {"ferrolog_meter_up", "gauge", "1 while the meter is identified and answering, else 0.", Up},
    {"ferrolog_reading_timestamp_seconds", "gauge",
     "Time of the meter's newest reading, in seconds since the epoch.", ReadingTimestamp},
    {"ferrolog_exchanges_total", "counter", "Exchanges with the meter, by their result.",
     Exchanges},
};

}  // namespace

std::string PrometheusLabelValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out;
}

std::string StationMetricsText(const std::vector<MeterSnapshot>& meters) {
    std::string out;
    for (const Family& family : kFamilies) {
        out += std::string("# HELP ") + family.name + ' ' + family.help + '\n';
        out += std::string("# TYPE ") + family.name + ' ' + family.type + '\n';
        for (const MeterSnapshot& meter : meters) {
            for (const Sample& sample : family.samples(meter)) {
                out += family.name;
                out += "{meter=\"" + PrometheusLabelValue(meter.name) + '"';
                if (!sample.labels.empty()) out += ',' + sample.labels;
                out += "} " + ValueText(sample.value) + '\n';
            }
        }
    }
    return out;
}
