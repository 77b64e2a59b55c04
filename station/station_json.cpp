#include "station/station_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "link/local_time.h"

namespace {

// Members are appended as `"key":value`, separated by commas.
class JsonObject {
  public:
    JsonObject& Raw(std::string_view key, std::string_view value) {
        text_ += text_.size() > 1 ? "," : "";
        text_ += StationJsonString(key);
        text_ += ':';
        text_ += value;
        return *this;
    }
    JsonObject& Text(std::string_view key, std::string_view value) {
        return Raw(key, StationJsonString(value));
    }
    std::string Close() { return text_ + '}'; }

  private:
    std::string text_ = "{";
};

// Adds the row's members and closes the object.
std::string CloseWithRow(JsonObject& object, const FieldRow& row) {
    object.Text("time", IsoLocalTime(row.time));
    object.Raw("x_mg", StationJsonNumber(row.xMg)).Raw("y_mg", StationJsonNumber(row.yMg));
    object.Raw("z_mg", StationJsonNumber(row.zMg)).Raw("emf_mg", StationJsonNumber(row.emfMg));
    return object.Raw("ef_vm", StationJsonNumber(row.efVm)).Close();
}

std::string MeterJson(const MeterSnapshot& meter) {
    JsonObject object;
    object.Text("name", meter.name);
    object.Raw("model", meter.model.empty() ? "null" : StationJsonString(meter.model));
    // The revision is kept as a float; its shortest form is the one the meter reported.
    const bool identified = meter.firmware > 0;
    object.Raw("firmware",
               identified ? StationJsonNumber(static_cast<float>(meter.firmware)) : "null");
    object.Text("port", meter.path).Raw("up", meter.up ? "true" : "false");
    object.Raw("has_spectrum", meter.hasSpectrum ? "true" : "false");
    const bool read = meter.lastReadingTime > 0;
    return object
        .Raw("last_reading_time",
             read ? StationJsonString(IsoLocalTime(meter.lastReadingTime)) : "null")
        .Close();
}

}  // namespace

std::string StationJsonString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", byte);
            out += code;
        } else {
            out += byte < 0x80 ? c : '?';
        }
    }
    return out + '"';
}

std::string StationJsonNumber(float value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string MeterListJson(const std::vector<MeterSnapshot>& meters) {
    std::string out = "[";
    for (const MeterSnapshot& meter : meters) {
        if (out.size() > 1) out += ',';
        out += MeterJson(meter);
    }
    return out + ']';
}

std::string ReadingJson(const std::string& meter, const FieldRow& row) {
    JsonObject object;
    object.Text("meter", meter);
    return CloseWithRow(object, row);
}

std::string RowsJson(const std::string& meter, const std::vector<FieldRow>& rows) {
    std::string out = "{\"meter\":" + StationJsonString(meter) + ",\"rows\":[";
    out.reserve(out.size() + rows.size() * 120);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i > 0) out += ',';
        JsonObject object;
        out += CloseWithRow(object, rows[i]);
    }
    return out + "]}";
}

std::string SpectrumJson(const std::string& meter, const StationSpectrum& sweep) {
    std::string levels = "[";
    for (int8_t level : sweep.dbm) {
        if (levels.size() > 1) levels += ',';
        levels += std::to_string(level);
    }
    JsonObject object;
    object.Text("meter", meter).Text("time", IsoLocalTime(sweep.time));
    object.Raw("start_hz", std::to_string(sweep.startHz));
    object.Raw("spacing_hz", std::to_string(sweep.spacingHz));
    return object.Raw("dbm", levels + ']').Close();
}

std::string EventJson(const std::string& meter) {
    return JsonObject().Text("meter", meter).Close();
}

std::string ErrorJson(std::string_view message) {
    return JsonObject().Text("error", message).Close();
}
