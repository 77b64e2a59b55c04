#include "sim/virtual_meter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "sim/factory_calibration.h"

namespace {

constexpr int kCountJitterChannel = 500;  // and the three after it
constexpr int kTemperatureChannel = 520;
constexpr int kGyroChannel = 530;  // and the two after it
constexpr int64_t kSecondsPerDay = 86400;
// The display's spectrum view sweeps on its own, apart from the sweeps sent over the link.
constexpr uint64_t kDisplaySweeps = uint64_t{1} << 40;
constexpr double kBatteryStartVolts = 4.1;
constexpr double kBatteryDrainPerSecond = 1e-5;
constexpr double kBatteryLowestVolts = 3.3;
constexpr int kConfigLength = 16;
constexpr int kSpiAddressLength = 3;
constexpr int kSpiHeaderLength = 5;
constexpr uint8_t kEmptySlot = 0xFF;
constexpr double kRoomCelsius = 23.5;
constexpr double kRoomSwingCelsius = 2.0;
constexpr int kOneG = 1000;
constexpr double kGyroWobble = 40;

struct FeatureNeed {
    CommandId id;
    bool ModelSpec::*feature;
};
// clang-format off
constexpr FeatureNeed kFeatureNeeds[] = {
    {CommandId::GetBandDataHex, &ModelSpec::spectrum},
    {CommandId::GetBandData,    &ModelSpec::spectrum},
    {CommandId::SetDateTime,    &ModelSpec::clock},
    {CommandId::GetDateTime,    &ModelSpec::clock},
    {CommandId::GetShotInfo,    &ModelSpec::screenshots},
    {CommandId::GetShot,        &ModelSpec::screenshots},
    {CommandId::SpiRead,        &ModelSpec::history},
    {CommandId::SpiProgram,     &ModelSpec::history},
    {CommandId::SpiErase,       &ModelSpec::history},
};
// clang-format on

// Screenshots the meter holds when the link first opens: the view captured and how long ago.
struct PastScreenshot {
    View view;
    int64_t secondsAgo;
};
// clang-format off
constexpr PastScreenshot kPastScreenshots[] = {
    {View::Emf,      2 * kSecondsPerDay + 3 * 3600 + 17 * 60 + 9},
    {View::Spectrum, 5 * 3600 + 2 * 60 + 41},
    {View::Ef,       1 * 3600 + 12 * 60 + 30},
    {View::Summary,  9 * 60 + 4},
};
// Config block (GETCFG / WCFG) byte addresses.
enum ConfigAddress : int {
    kCfgAlarm = 0, kCfgSpeaker = 1, kCfgLogging = 2, kCfgBand = 3, kCfgView = 4,
    kCfgAlarmHigh = 5, kCfgAlarmLow = 6, kCfgEcho = 7, kCfgHeartbeat = 8,
};
// clang-format on

void PutLittleEndian32(Bytes& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void PutBigEndian16(Bytes& bytes, int value) {
    bytes.push_back(static_cast<uint8_t>(value >> 8 & 0xFF));
    bytes.push_back(static_cast<uint8_t>(value & 0xFF));
}

Bytes TimeBytes(const MeterTime& t) {
    return {static_cast<uint8_t>(t.year % 100), static_cast<uint8_t>(t.month),
            static_cast<uint8_t>(t.day),        static_cast<uint8_t>(t.hour),
            static_cast<uint8_t>(t.minute),     static_cast<uint8_t>(t.second)};
}

Bytes WithTrailer(Bytes bytes) {
    bytes.push_back(kTrailer);
    return bytes;
}

uint32_t Address24(const Bytes& p) {
    return static_cast<uint32_t>(p[0] << 16 | p[1] << 8 | p[2]);
}

int64_t SecondOf(int64_t ms) {
    return ms / 1000;
}

// Only models with the feature answer its commands.
bool Supports(const ModelSpec& model, CommandId id) {
    for (const FeatureNeed& need : kFeatureNeeds)
        if (need.id == id) return model.*need.feature;
    return true;
}

}  // namespace

float RevisionValue(const std::string& revision) {
    return std::strtof(revision.c_str(), nullptr);
}

VirtualMeter::VirtualMeter(const MeterSetup& setup)
    : setup_(setup),
      revisionText_(setup.revision.empty() ? setup.model->revision : setup.revision),
      revisionValue_(RevisionValue(revisionText_)),
      environment_(*setup.scene, setup.seed),
      clock_(setup.clock, setup.startUptimeMs),
      panel_(setup.model->spectrum, setup.model->history, setup.model->clock, BandCount()),
      band_(FindBand(setup.band) ? setup.band : 0),
      logging_(setup.logging && setup.model->history),
      lastSecond_(SecondOf(setup.startUptimeMs)) {
    panel_.NoteBand(band_);
    char serial[24];
    std::snprintf(serial, sizeof serial, "ZX%d-%05u", setup.model->code,
                  static_cast<unsigned>(10000 + setup.seed * 7919 % 90000));
    serial_ = serial;
    if (setup.model->history && setup.historyImage.empty())
        WritePastSessions(history_, environment_, clock_.Now(setup.startUptimeMs),
                          SecondOf(setup.startUptimeMs), setup.historyBytes);
    if (setup.model->screenshots) StoreEarlierScreenshots(setup.emptySlots);
}

// The screenshots taken before the link opened: each view as it looked then.
void VirtualMeter::StoreEarlierScreenshots(unsigned emptySlots) {
    const int64_t startSecond = SecondOf(setup_.startUptimeMs);
    const int64_t now = MeterSeconds(clock_.Now(setup_.startUptimeMs));
    for (int slot = 0; slot < kScreenshotSlots; ++slot) {
        if (emptySlots >> slot & 1) continue;
        const PastScreenshot& past = kPastScreenshots[slot];
        MeterPanel panel(setup_.model->spectrum, setup_.model->history, setup_.model->clock,
                         BandCount());
        panel.ShowView(past.view);
        const MeterTime taken = FromMeterSeconds(now - past.secondsAgo);
        LcdCanvas canvas;
        DrawPanel(canvas, panel, DataAt(startSecond - past.secondsAgo, taken));
        shots_[static_cast<size_t>(slot)] = {true, taken, canvas.Pack()};
    }
}

bool VirtualMeter::LoadHistory(std::string* error) {
    if (setup_.historyImage.empty()) return true;
    return history_.LoadImage(setup_.historyImage, error);
}

std::string VirtualMeter::VersionReply() const {
    return setup_.versionText.empty() ? VersionText(*setup_.model, revisionText_)
                                      : setup_.versionText;
}

// The converters' last digit wanders by a count either way.
int32_t VirtualMeter::CountNoise(int64_t second, int channel) const {
    return static_cast<int32_t>(NoiseUnit(setup_.seed, second, kCountJitterChannel + channel) * 3) -
           1;
}

std::array<int32_t, 4> VirtualMeter::CountsAt(int64_t second) const {
    const FieldSample s = environment_.At(second);
    return {CountForVoltsPerMetre(revisionValue_, s.efVm) + CountNoise(second, 0),
            CountForMilligauss(revisionValue_, s.xMg) + CountNoise(second, 1),
            CountForMilligauss(revisionValue_, s.yMg) + CountNoise(second, 2),
            CountForMilligauss(revisionValue_, s.zMg) + CountNoise(second, 3)};
}

MeterReply VirtualMeter::Handle(const ReceivedFrame& frame, int64_t nowMs) {
    if (!frame.command || Restarting(nowMs)) return {};
    if (!powered_) {
        // Switched off, the meter's serial side still names itself and shows its dark display.
        const CommandId id = frame.command->id;
        const bool wakes =
            id == CommandId::PowerOn || (id == CommandId::KeyHold && frame.command->digit == 3);
        if (id != CommandId::GetVer && id != CommandId::GetScreen && !wakes) return {};
    }
    MeterReply reply = Act(frame, nowMs);
    if (echo_) reply.bytes.insert(reply.bytes.begin(), frame.raw.begin(), frame.raw.end());
    return reply;
}

MeterReply VirtualMeter::Act(const ReceivedFrame& frame, int64_t nowMs) {
    if (!Supports(*setup_.model, frame.command->id)) return {};
    if (auto reply = Measure(frame, nowMs)) return *reply;
    if (auto reply = Store(frame)) return *reply;
    if (auto reply = Control(frame, nowMs)) return *reply;
    return Report(frame, nowMs);
}

std::optional<MeterReply> VirtualMeter::Measure(const ReceivedFrame& frame, int64_t nowMs) {
    const int64_t shown = DisplaySecond(nowMs);
    const int latencyMs = frame.command->latencyMs;
    switch (frame.command->id) {
        case CommandId::GetScreen:
            return MeterReply{WithTrailer(Screen(nowMs).Pack()), latencyMs};
        case CommandId::GetEmfData:
            return MeterReply{FieldBlock(nowMs), latencyMs};
        case CommandId::GetBandDataHex:
            return MeterReply{Sweep(), latencyMs};
        case CommandId::GetBandData:
            return SweepText(frame);
        case CommandId::GetEmf:
            return Line(FormatNumber("EMF = %.1f mG", environment_.At(shown).TotalMg()), frame);
        case CommandId::GetEf:
            return Line(FormatNumber("EF = %.1f V/m", environment_.At(shown).efVm), frame);
        default:
            return std::nullopt;
    }
}

std::optional<MeterReply> VirtualMeter::Store(const ReceivedFrame& frame) {
    const int latencyMs = frame.command->latencyMs;
    switch (frame.command->id) {
        case CommandId::GetShotInfo:
            return MeterReply{ShotInfo(frame.command->digit), latencyMs};
        case CommandId::GetShot:
            return MeterReply{ShotPixels(frame.command->digit), latencyMs};
        case CommandId::SpiRead:
            return MeterReply{SpiRead(frame.params), latencyMs};
        case CommandId::SpiProgram:
            return MeterReply{SpiProgram(frame.params), latencyMs};
        case CommandId::SpiErase:
            return MeterReply{SpiErase(frame.params), latencyMs};
        default:
            return std::nullopt;
    }
}

// Commands that change what the meter does; most confirm with a single 0xAA.
std::optional<MeterReply> VirtualMeter::Control(const ReceivedFrame& frame, int64_t nowMs) {
    const CommandInfo& command = *frame.command;
    const MeterReply done{{kTrailer}, command.latencyMs};
    const MeterReply none;
    switch (command.id) {
        case CommandId::Key:
            PressKey(command.digit, false, nowMs);
            return none;
        case CommandId::KeyHold:
            PressKey(command.digit, true, nowMs);
            return none;
        case CommandId::SetDateTime:
            return MeterReply{SetClock(frame.params, nowMs), command.latencyMs};
        case CommandId::Alarm:
            if (command.digit < 2) alarm_ = command.digit == 1;  // ALARM2 only sounds it once
            return done;
        case CommandId::Speaker:
            speaker_ = command.digit == 1;
            return done;
        case CommandId::CfgUpdate:
        case CommandId::CpmSpeakerCal:
            return done;
        case CommandId::EchoOn:
            echo_ = true;
            return none;
        case CommandId::EchoOff:
            echo_ = false;
            return none;
        case CommandId::FactoryReset:
            FactoryReset();
            return done;
        case CommandId::SetEmf:
            if (frame.params.size() != 2) return none;
            alarmTenths_ = frame.params[0] << 8 | frame.params[1];
            return done;
        case CommandId::WriteCfg:
            return MeterReply{WriteConfig(frame.params, nowMs), command.latencyMs};
        case CommandId::PowerOff:
            SwitchPower(false, nowMs);
            return none;
        case CommandId::PowerOn:
            SwitchPower(true, nowMs);
            return none;
        case CommandId::Reboot:
            Restart(nowMs);
            return none;
        case CommandId::Heartbeat:
            heartbeat_ = command.digit == 1;
            return none;
        default:
            return std::nullopt;
    }
}

// What the meter says about itself.
MeterReply VirtualMeter::Report(const ReceivedFrame& frame, int64_t nowMs) const {
    const int64_t second = SecondOf(nowMs);
    const int latencyMs = frame.command->latencyMs;
    switch (frame.command->id) {
        case CommandId::GetVer:
            return Text(VersionReply(), frame);
        case CommandId::GetSerial:
            return Line(serial_, frame);
        case CommandId::GetVolt:
            return Line(FormatNumber("%.2fV", BatteryVolts(second)), frame);
        case CommandId::GetTemp:
            return Line(FormatNumber("%.1fC", TemperatureAt(second)), frame);
        case CommandId::GetGyro:
            return {WithTrailer(GyroAt(second)), latencyMs};
        case CommandId::GetDateTime:
            return {WithTrailer(TimeBytes(clock_.Now(nowMs))), latencyMs};
        case CommandId::GetMode:
            return {{static_cast<uint8_t>(panel_.viewIndex())}, latencyMs};
        case CommandId::GetCfg:
            return {Config(), latencyMs};
        case CommandId::GetCpm:
            return Line("0", frame);
        case CommandId::GetRam:
            return Line("FREE " + std::to_string(1800 + second % 64), frame);
        default:
            return {};
    }
}

MeterReply VirtualMeter::SweepText(const ReceivedFrame& frame) {
    std::string text;
    for (int8_t level : SweepBand(*FindBand(band_), *setup_.scene, setup_.seed, sweeps_++))
        text += (text.empty() ? "" : ",") + std::to_string(level);
    return Line(text, frame);
}

double VirtualMeter::TemperatureAt(int64_t second) const {
    return kRoomCelsius +
           kRoomSwingCelsius * SmoothNoise(setup_.seed, second / 300.0, kTemperatureChannel);
}

// Three axes in milli-g, big-endian: the meter lies still, flat on its back.
Bytes VirtualMeter::GyroAt(int64_t second) const {
    Bytes gyro;
    for (int axis = 0; axis < 3; ++axis) {
        const double wobble =
            kGyroWobble * (NoiseUnit(setup_.seed, second, kGyroChannel + axis) - 0.5);
        PutBigEndian16(gyro, (axis == 2 ? kOneG : 0) + static_cast<int>(wobble));
    }
    return gyro;
}

MeterReply VirtualMeter::Text(const std::string& text, const ReceivedFrame& frame) const {
    return {Bytes(text.begin(), text.end()), frame.command->latencyMs};
}

// The terminal's readings come as lines of text.
MeterReply VirtualMeter::Line(const std::string& text, const ReceivedFrame& frame) const {
    return Text(text + "\r\n", frame);
}

// Records oldest first, one per second up to the present one; bytes 0..3 carry the uptime
// second the record was measured in.
Bytes VirtualMeter::FieldBlock(int64_t nowMs) const {
    Bytes block;
    block.reserve(kFieldReplyLength);
    const int64_t newest = SecondOf(nowMs);
    for (int64_t second = newest - kFieldRecords + 1; second <= newest; ++second) {
        PutLittleEndian32(block, static_cast<uint32_t>(second));
        for (int32_t count : CountsAt(second))
            PutLittleEndian32(block, static_cast<uint32_t>(count));
    }
    return WithTrailer(block);
}

Bytes VirtualMeter::Sweep() {
    const BandPlan& band = *FindBand(band_);
    return SpectrumRecord(band, SweepBand(band, *setup_.scene, setup_.seed, sweeps_++));
}

Bytes VirtualMeter::SetClock(const Bytes& p, int64_t nowMs) {
    const MeterTime time{2000 + p[0], p[1], p[2], p[3], p[4], p[5]};
    const bool taken = clock_.Set(time, nowMs);
    return {taken ? kTrailer : kRefused};
}

Bytes VirtualMeter::ShotInfo(int slot) const {
    const StoredScreenshot& shot = screenshot(slot);
    Bytes info = shot.stored ? TimeBytes(shot.taken) : Bytes(kShotInfoLength - 1, kEmptySlot);
    return WithTrailer(info);
}

Bytes VirtualMeter::ShotPixels(int slot) const {
    const StoredScreenshot& shot = screenshot(slot);
    return WithTrailer(shot.stored ? shot.pixels : Bytes(kLcdBytes, 0));
}

Bytes VirtualMeter::SpiRead(const Bytes& p) const {
    const uint32_t count =
        std::min<uint32_t>(static_cast<uint32_t>(p[3] << 8 | p[4]), kSpiReadLimit);
    return history_.Read(Address24(p), count);
}

Bytes VirtualMeter::SpiProgram(const Bytes& p) {
    history_.Program(Address24(p), Bytes(p.begin() + kSpiHeaderLength, p.end()));
    return {kTrailer};
}

Bytes VirtualMeter::SpiErase(const Bytes& p) {
    if (p.size() < kSpiAddressLength) return {};
    history_.EraseSector(Address24(p));
    return {kTrailer};
}

Bytes VirtualMeter::Config() const {
    Bytes config(kConfigLength, 0);
    config[kCfgAlarm] = alarm_;
    config[kCfgSpeaker] = speaker_;
    config[kCfgLogging] = logging_;
    config[kCfgBand] = static_cast<uint8_t>(band_);
    config[kCfgView] = static_cast<uint8_t>(panel_.viewIndex());
    config[kCfgAlarmHigh] = static_cast<uint8_t>(alarmTenths_ >> 8);
    config[kCfgAlarmLow] = static_cast<uint8_t>(alarmTenths_ & 0xFF);
    config[kCfgEcho] = echo_;
    config[kCfgHeartbeat] = heartbeat_;
    return WithTrailer(config);
}

Bytes VirtualMeter::WriteConfig(const Bytes& p, int64_t nowMs) {
    const int value = p[1];
    bool known = true;
    switch (p[0]) {
        case kCfgAlarm:
            alarm_ = value != 0;
            break;
        case kCfgSpeaker:
            speaker_ = value != 0;
            break;
        case kCfgLogging:
            if (setup_.model->history && logging_ != (value != 0))
                Apply({PanelAction::ToggleLogging}, nowMs);
            break;
        case kCfgBand:
            known = FindBand(value) != nullptr;
            if (known) Apply({PanelAction::ChooseBand, value}, nowMs);
            break;
        case kCfgView:
            known = value < static_cast<int>(panel_.views().size());
            if (known) panel_.ShowView(panel_.views()[static_cast<size_t>(value)]);
            break;
        case kCfgAlarmHigh:
            alarmTenths_ = value << 8 | (alarmTenths_ & 0xFF);
            break;
        case kCfgAlarmLow:
            alarmTenths_ = (alarmTenths_ & 0xFF00) | value;
            break;
        case kCfgEcho:
            echo_ = value != 0;
            break;
        case kCfgHeartbeat:
            heartbeat_ = value != 0;
            break;
        default:
            known = false;
            break;
    }
    return {known ? kTrailer : kRefused};
}

void VirtualMeter::PressKey(int key, bool hold, int64_t nowMs) {
    if (!powered_) {
        if (hold && key == static_cast<int>(MeterKey::Select)) SwitchPower(true, nowMs);
        return;
    }
    if (nowMs < startScreenUntilMs_) return;  // keys are not read while the meter starts
    const auto meterKey = static_cast<MeterKey>(key);
    Apply(hold ? panel_.Hold(meterKey) : panel_.Press(meterKey), nowMs);
}

void VirtualMeter::Apply(const PanelEvent& event, int64_t nowMs) {
    switch (event.action) {
        case PanelAction::None:
            break;
        case PanelAction::ToggleLogging:
            if (!setup_.model->history) break;
            logging_ = !logging_;
            sessionReadings_ = 0;
            ShowToast(logging_ ? "Logging ON" : "Logging OFF", nowMs);
            break;
        case PanelAction::ToggleAlarm:
            alarm_ = !alarm_;
            break;
        case PanelAction::ToggleSpeaker:
            speaker_ = !speaker_;
            break;
        case PanelAction::ChooseBand:
            band_ = event.value;
            panel_.NoteBand(band_);
            break;
        case PanelAction::ToggleHold:
            if (heldSecond_)
                heldSecond_.reset();
            else
                heldSecond_ = SecondOf(nowMs);
            break;
        case PanelAction::CaptureScreenshot:
            if (setup_.model->screenshots) CaptureScreenshot(nowMs);
            break;
        case PanelAction::TogglePower:
            SwitchPower(!powered_, nowMs);
            break;
    }
}

void VirtualMeter::SwitchPower(bool on, int64_t nowMs) {
    if (on == powered_) return;
    powered_ = on;
    heldSecond_.reset();
    logging_ = false;  // switching off ends a logging session
    toast_.clear();
    if (on) {
        panel_.Reset();
        startScreenUntilMs_ = nowMs + kStartScreenMs;
    }
}

// Into the first free slot, or over the oldest screenshot when all four are taken.
void VirtualMeter::CaptureScreenshot(int64_t nowMs) {
    auto slot = std::find_if(shots_.begin(), shots_.end(), [](const auto& s) { return !s.stored; });
    if (slot == shots_.end())
        slot = std::min_element(shots_.begin(), shots_.end(), [](const auto& a, const auto& b) {
            return MeterSeconds(a.taken) < MeterSeconds(b.taken);
        });
    LcdCanvas canvas;
    DrawPanel(canvas, panel_, DataAt(DisplaySecond(nowMs), clock_.Now(nowMs)));
    *slot = {true, clock_.Now(nowMs), canvas.Pack()};
    ShowToast("Screenshot " + std::to_string(slot - shots_.begin() + 1) + " saved", nowMs);
}

// The settings survive a restart; what the meter was doing does not.
void VirtualMeter::Restart(int64_t nowMs) {
    powered_ = true;
    heldSecond_.reset();
    logging_ = false;
    echo_ = false;
    heartbeat_ = false;
    toast_.clear();
    panel_.Reset();
    silentUntilMs_ = nowMs + kRestartSilentMs;
    startScreenUntilMs_ = silentUntilMs_ + kStartScreenMs;
}

void VirtualMeter::FactoryReset() {
    alarm_ = false;
    speaker_ = true;
    echo_ = false;
    heartbeat_ = false;
    logging_ = false;
    heldSecond_.reset();
    alarmTenths_ = kDefaultAlarmTenths;
    band_ = 0;
    panel_.NoteBand(band_);
    panel_.Reset();
}

void VirtualMeter::ShowToast(const std::string& text, int64_t nowMs) {
    toast_ = text;
    toastUntilMs_ = nowMs + kToastMs;
}

Bytes VirtualMeter::Advance(int64_t nowMs) {
    Bytes sent;
    const int64_t second = SecondOf(nowMs);
    while (lastSecond_ < second) {
        ++lastSecond_;
        if (!powered_ || Restarting(lastSecond_ * 1000)) continue;
        if (logging_) LogSecond(lastSecond_);
        if (heartbeat_) sent.push_back(kHeartbeat);
    }
    if (nowMs >= toastUntilMs_) toast_.clear();
    return sent;
}

// One logged reading; a session starts with a time stamp and renews it every 600 readings.
void VirtualMeter::LogSecond(int64_t second) {
    bool stored = true;
    if (sessionReadings_ % kReadingsPerTimeStamp == 0)
        stored = history_.AppendTimeStamp(clock_.Now(second * 1000));
    stored =
        stored && history_.AppendReading(ReadingFor(environment_.At(second), sessionReadings_));
    ++sessionReadings_;
    if (!stored) {
        logging_ = false;
        ShowToast("Memory full", second * 1000);
    }
}

int64_t VirtualMeter::DisplaySecond(int64_t nowMs) const {
    return heldSecond_ ? *heldSecond_ : SecondOf(nowMs);
}

double VirtualMeter::BatteryVolts(int64_t second) const {
    return std::max(kBatteryLowestVolts, kBatteryStartVolts - second * kBatteryDrainPerSecond);
}

PanelData VirtualMeter::DataAt(int64_t second, const MeterTime& now) const {
    PanelData d;
    d.model = setup_.model;
    d.revision = revisionText_;
    d.serial = serial_;
    d.now = now;
    d.sample = environment_.At(second);
    for (int i = 0; i < kTrendSeconds; ++i) {
        const FieldSample s = environment_.At(second - kTrendSeconds + 1 + i);
        d.emfTrend[static_cast<size_t>(i)] = s.TotalMg();
        d.efTrend[static_cast<size_t>(i)] = s.efVm;
        d.rfTrend[static_cast<size_t>(i)] = s.rfPwCm2;
    }
    if (setup_.model->spectrum) {
        d.band = FindBand(band_);
        d.sweep = SweepBand(*d.band, *setup_.scene, setup_.seed,
                            kDisplaySweeps + static_cast<uint64_t>(second));
    }
    d.logging = logging_;
    d.alarm = alarm_;
    d.alarmTripped = alarm_ && d.sample.TotalMg() * 10 >= alarmTenths_;
    d.speaker = speaker_;
    d.hold = heldSecond_.has_value();
    d.batteryVolts = BatteryVolts(second);
    d.logBytes = history_.LogEnd();
    return d;
}

LcdCanvas VirtualMeter::Screen(int64_t nowMs) const {
    LcdCanvas canvas;
    if (!powered_ || Restarting(nowMs)) return canvas;  // a dark display
    if (nowMs < startScreenUntilMs_) {
        DrawStartScreen(canvas, *setup_.model, revisionText_);
        return canvas;
    }
    PanelData data = DataAt(DisplaySecond(nowMs), clock_.Now(nowMs));
    if (nowMs < toastUntilMs_) data.toast = toast_;
    DrawPanel(canvas, panel_, data);
    return canvas;
}
