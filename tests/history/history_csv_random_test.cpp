// Random record streams, decoded once by the library and once by a plain decoder written here
// from the record rules, must give the same text.

#include <gtest/gtest.h>

#include <array>
#include <iomanip>
#include <random>
#include <sstream>
#include <string>

#include "history/history_csv.h"
#include "history_records.h"

using namespace history_records;

namespace {

const char* const kSources[] = {"---",        "Smart Meter", "Cell Tower", "Microwave",
                                "WiFi/Phone", "Static",      "AC EF",      "Power Line"};

struct Clock {
    // year, month, day, hour, minute, second
    std::array<int, 6> field = {0, 1, 1, 0, 0, 0};

    void Tick() {
        // from the second up: the value after which the field restarts, and where it restarts
        const int wrapAfter[6] = {0, 12, 30, 23, 59, 59};
        const int restartAt[6] = {0, 1, 1, 0, 0, 0};
        for (int i = 5; i >= 0; --i) {
            if (i == 0 || field[i] != wrapAfter[i]) {
                field[i] = (field[i] + 1) % 256;
                return;
            }
            field[i] = restartAt[i];
        }
    }

    std::string Text() const {
        std::ostringstream out;
        out << "20" << std::setfill('0');
        const char separators[6] = {'/', '/', ' ', ':', ':', '\0'};
        for (int i = 0; i < 6; ++i) {
            out << std::setw(2) << field[i];
            if (separators[i]) out << separators[i];
        }
        return out.str();
    }
};

float LittleEndianFloat(const Memory& m, size_t at) {
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = bits << 8 | m[at + i];
    return std::bit_cast<float>(bits);
}

std::string ReferenceCsv(const Memory& m) {
    std::ostringstream out;
    out << "ZTX-440 Data Logged History\r\n,EMF,EF,RF Power Density\r\n"
        << "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n";
    Clock clock;
    bool dateWritten = false, anyReading = false, anyStamp = false;
    for (size_t at = 0; at + 1 < m.size(); at += 2) {
        if (m[at] == 0x55 && m[at + 1] == 0xAA) {
            if (at + 8 > m.size()) break;
            if (dateWritten) out << "\r\n";
            for (int i = 0; i < 6; ++i)
                clock.field[i] = m[at + 2 + i];
            out << clock.Text();
            dateWritten = anyStamp = true;
            at += 6;
        } else if (m[at] == 0xAA && m[at + 1] == 0x55) {
            if (at + 12 > m.size()) break;
            const bool extended = at + 12 < m.size() && m[at + 12] == 0x5A;
            if (extended && at + 14 > m.size()) break;
            if (!dateWritten) {
                if (anyReading || anyStamp) clock.Tick();
                out << clock.Text();
            }
            const int emf = m[at + 2] * 256 + m[at + 3];
            const float rf = LittleEndianFloat(m, at + 8);
            const float mwPerM2 = rf * 1e-5f, mwPerCm2 = rf * 1e-9f;
            out << ',' << emf / 16 << '.' << emf % 16 << std::fixed << std::setprecision(1) << ','
                << double{LittleEndianFloat(m, at + 4)} << std::setprecision(3) << ','
                << double{mwPerM2} << ',' << double{mwPerCm2} << ',' << double{rf} << ',';
            if (extended) out << (m[at + 13] < 8 ? kSources[m[at + 13]] : "Mixed");
            out << "\r\n";
            dateWritten = false;
            anyReading = true;
            at += extended ? 12 : 10;
        }
    }
    return out.str();
}

class StreamMaker {
  public:
    explicit StreamMaker(unsigned seed) : random_(seed) {}

    Memory Make() {
        Memory m;
        const int records = Pick(0, 120);
        for (int i = 0; i < records; ++i)
            AddOne(m);
        return m;
    }

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  private:
    uint8_t Byte() { return static_cast<uint8_t>(Pick(0, 255)); }

    // Mostly values near the carries, sometimes anything a byte holds.
    uint8_t Field(std::initializer_list<int> edges) {
        if (Pick(0, 3) == 0) return Byte();
        return static_cast<uint8_t>(edges.begin()[Pick(0, static_cast<int>(edges.size()) - 1)]);
    }

    float Value() {
        switch (Pick(0, 3)) {
            case 0:
                return std::bit_cast<float>(static_cast<uint32_t>(random_()));
            case 1:
                return static_cast<float>(Pick(-100000, 100000)) / 100.0f;
            case 2:
                return static_cast<float>(Pick(0, 1 << 30));
            default:
                return std::uniform_real_distribution<float>(0.0f, 2.0f)(random_);
        }
    }

    void AddOne(Memory& m) {
        switch (Pick(0, 9)) {
            case 0:
            case 1:
                AddStamp(m, Field({17, 24, 99}), Field({1, 11, 12}), Field({1, 29, 30, 31}),
                         Field({0, 22, 23}), Field({0, 58, 59}), Field({0, 58, 59}));
                break;
            case 2:
                m.push_back(Byte());
                break;  // shifts what follows by one byte
            case 3:
                m.insert(m.end(), {Byte(), Byte()});
                break;
            case 4:
                m.insert(m.end(), {0x5A, Byte()});
                break;
            default: {
                const bool extended = Pick(0, 2) == 0;
                AddReading(
                    m, Byte(), Byte(), Value(), Value(),
                    extended ? std::optional<uint8_t>(Field({0, 4, 7, 8, 9, 255})) : std::nullopt);
            }
        }
    }

    std::mt19937 random_;
};

}  // namespace

TEST(HistoryCsvRandom, MatchesAPlainDecoderOnRandomStreams) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        StreamMaker maker(seed);
        Memory full = maker.Make();
        const size_t count =
            maker.Pick(0, 1) ? full.size() : static_cast<size_t>(maker.Pick(0, int(full.size())));
        const Memory counted(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(count));
        // what lies past the count must not matter
        full.insert(full.end(), {0x5A, 0x04, 0xAA, 0x55, 0x12, 0x34});
        const std::string expected = ReferenceCsv(counted);
        ASSERT_EQ(HistoryCsvText(counted.data(), counted.size()), expected) << "seed " << seed;
        ASSERT_EQ(HistoryCsvText(full.data(), count), expected) << "seed " << seed;
    }
}
