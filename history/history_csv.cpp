#include "history/history_csv.h"

#include <bit>
#include <charconv>
#include <iterator>

#include "history/history_record_walk.h"

namespace {

constexpr const char* kHeader =
    "ZTX-440 Data Logged History\r\n"
    ",EMF,EF,RF Power Density\r\n"
    "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n";

constexpr size_t kReadingValuesSize = 10;  // EMF word, EF float, RF float

// Room for the longest line: three-digit date fields, 39-digit floats.
constexpr size_t kLineCapacity = 320;
// Most lines are about 60 characters; one per 12-byte reading at most.
constexpr size_t kTypicalLineLength = 64;

constexpr const char* kPossibleSources[] = {
    "---",          // 0
    "Smart Meter",  // 1
    "Cell Tower",   // 2
    "Microwave",    // 3
    "WiFi/Phone",   // 4
    "Static",       // 5
    "AC EF",        // 6
    "Power Line",   // 7
};
constexpr const char* kMixedSource = "Mixed";  // any other code

// The meter's months are all 30 days long; the counters are bytes and wrap like bytes.
struct RunningStamp {
    uint8_t year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;

    void Set(const uint8_t* fields) {
        year = fields[0];
        month = fields[1];
        day = fields[2];
        hour = fields[3];
        minute = fields[4];
        second = fields[5];
    }

    void AdvanceOneSecond() {
        if (Step(second, 59, 0) && Step(minute, 59, 0) && Step(hour, 23, 0) && Step(day, 30, 1) &&
            Step(month, 12, 1))
            ++year;
    }

  private:
    // One up; past `last` the counter starts again at `first` and carries.
    static bool Step(uint8_t& counter, uint8_t last, uint8_t first) {
        if (counter != last) {
            ++counter;
            return false;
        }
        counter = first;
        return true;
    }
};

struct Reading {
    unsigned emfWhole, emfTenths;
    float ef, rf;
    const char* source;  // empty without the "Z" extension
};

float FloatLittleEndian(const uint8_t* bytes) {
    const uint32_t bits = uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                          uint32_t{bytes[3]} << 24;
    return std::bit_cast<float>(bits);
}

Reading DecodeReading(const uint8_t* values, const char* source) {
    const unsigned emf = unsigned{values[0]} << 8 | values[1];
    return {emf >> 4, emf & 0x0F, FloatLittleEndian(values + 2), FloatLittleEndian(values + 6),
            source};
}

char* PutNumber(char* at, char* end, unsigned value) {
    return std::to_chars(at, end, value).ptr;
}

char* PutTwoDigits(char* at, char* end, unsigned value) {
    if (value < 10) *at++ = '0';
    return PutNumber(at, end, value);
}

// As printf's "%.*lf" would print it.
char* PutFixed(char* at, char* end, double value, int decimals) {
    return std::to_chars(at, end, value, std::chars_format::fixed, decimals).ptr;
}

char* PutText(char* at, const char* text) {
    while (*text)
        *at++ = *text++;
    return at;
}

class HistoryTable {
  public:
    HistoryTable(size_t count, HistoryDateStyle style)
        : dateSeparator_(style == HistoryDateStyle::Iso ? '-' : '/') {
        text_.reserve(count / kHistoryReadingSize * kTypicalLineLength + kLineCapacity);
        text_ += kHeader;
    }

    void AddStamp(const uint8_t* fields) {
        if (datePending_) text_ += kHistoryCsvLineEnd;
        stamp_.Set(fields);
        AppendDate();
        datePending_ = true;
        beforeFirstReading_ = false;
    }

    void AddReading(const Reading& reading) {
        if (!datePending_) {
            // The log's start stands for 2000/01/01 00:00:00: its first reading takes it as is.
            if (!beforeFirstReading_) stamp_.AdvanceOneSecond();
            AppendDate();
        }
        AppendValues(reading);
        datePending_ = false;
        beforeFirstReading_ = false;
    }

    std::string Take() { return std::move(text_); }

  private:
    void AppendDate() {
        char line[kLineCapacity];
        char* const end = std::end(line);
        char* at = PutText(line, "20");
        at = PutTwoDigits(at, end, stamp_.year);
        *at++ = dateSeparator_;
        at = PutTwoDigits(at, end, stamp_.month);
        *at++ = dateSeparator_;
        at = PutTwoDigits(at, end, stamp_.day);
        *at++ = ' ';
        at = PutTwoDigits(at, end, stamp_.hour);
        *at++ = ':';
        at = PutTwoDigits(at, end, stamp_.minute);
        *at++ = ':';
        at = PutTwoDigits(at, end, stamp_.second);
        text_.append(line, at);
    }

    void AppendValues(const Reading& reading) {
        // The two scaled RF values are single-precision products, as the meter's tools had them.
        const float rfMilliwattPerSquareMetre = reading.rf * 1e-5f;
        const float rfMilliwattPerSquareCentimetre = reading.rf * 1e-9f;
        char line[kLineCapacity];
        char* const end = std::end(line);
        char* at = line;
        *at++ = ',';
        at = PutNumber(at, end, reading.emfWhole);
        *at++ = '.';
        at = PutNumber(at, end, reading.emfTenths);
        *at++ = ',';
        at = PutFixed(at, end, reading.ef, 1);
        *at++ = ',';
        at = PutFixed(at, end, rfMilliwattPerSquareMetre, 3);
        *at++ = ',';
        at = PutFixed(at, end, rfMilliwattPerSquareCentimetre, 3);
        *at++ = ',';
        at = PutFixed(at, end, reading.rf, 3);
        *at++ = ',';
        at = PutText(at, reading.source);
        at = PutText(at, kHistoryCsvLineEnd);
        text_.append(line, at);
    }

    const char dateSeparator_;
    std::string text_;
    RunningStamp stamp_;
    bool datePending_ = false;  // a time stamp's date is written and waits for its reading
    bool beforeFirstReading_ = true;
};

}  // namespace

const char* PossibleSourceText(uint8_t code) {
    return code < std::size(kPossibleSources) ? kPossibleSources[code] : kMixedSource;
}

std::string HistoryCsvText(const uint8_t* memory, size_t count, HistoryDateStyle style) {
    HistoryTable table(count, style);
    for (size_t n = 0; n + kHistoryMarkerSize <= count;) {
        const HistoryRecord record = HistoryRecordAt(memory, count, n);
        if (record.size == 0) break;
        const uint8_t* body = memory + n + kHistoryMarkerSize;
        if (record.kind == HistoryRecordKind::Stamp) {
            table.AddStamp(body);
        } else if (record.kind == HistoryRecordKind::Reading) {
            const bool hasSource = record.size > kHistoryReadingSize;
            const char* source = hasSource ? PossibleSourceText(body[kReadingValuesSize + 1]) : "";
            table.AddReading(DecodeReading(body, source));
        }
        n += record.size;
    }
    return table.Take();
}

void WriteHistoryCsv(const uint8_t* memory, size_t count, std::ostream& out) {
    const std::string text = HistoryCsvText(memory, count);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}
