#include "station/station.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>

#include "link/command_frame.h"
#include "link/local_time.h"
#include "link/meter_identity.h"
#include "measure/measurement_fetch.h"
#include "measure/spectrum.h"
#include "record/field_alignment.h"
#include "record/recording_file.h"
#include "record/recording_timeline.h"
#include "screen/screen_poll.h"

namespace {

constexpr int64_t kRetryEveryMs = 1000;          // a meter down is tried again at most this often
constexpr int64_t kScreenAtLeastEveryMs = 1000;  // the mirrored display refreshes this often
constexpr int64_t kFreshPeriods = 3;
constexpr int64_t kFreshAtLeastMs = 5000;
constexpr int kWaitSliceMs = 50;  // a wait on another clock than the computer's looks this often
constexpr auto kKeyWait = std::chrono::seconds(5);  // a fetch of a broken reply takes up to 3 s
constexpr int kMostFilesPerDay = 99;  // NAME-DATE.csv, then NAME-DATE-2.csv .. -99.csv
// A sweep has no trailer: its buffer is marked before each one, and a sweep whose last two
// bytes still hold the mark was never whole.
constexpr uint8_t kUnansweredMark = 0xBB;

struct KeyWord {
    const char* word;
    bool hold;
    StationKey key;
    const char* command;
};
constexpr KeyWord kKeyWords[] = {
    {"back", false, StationKey::Back, "KEY0"},
    {"down", false, StationKey::Down, "KEY1"},
    {"up", false, StationKey::Up, "KEY2"},
    {"select", false, StationKey::Select, "KEY3"},
    {"down", true, StationKey::HoldDown, "KEYHOLD1"},
    {"up", true, StationKey::HoldUp, "KEYHOLD2"},
    {"select", true, StationKey::HoldSelect, "KEYHOLD3"},
};

const char* KeyCommand(StationKey key) {
    for (const KeyWord& word : kKeyWords)
        if (word.key == key) return word.command;
    return nullptr;
}

enum class Exchange { Ok, NoReply, Error, None };

Exchange ExchangeOf(FetchOutcome outcome) {
    switch (outcome) {
        case FetchOutcome::Accepted:
        case FetchOutcome::NotFound:  // no sweep reaching the threshold is an answer too
            return Exchange::Ok;
        case FetchOutcome::NoWholeReply:
            return Exchange::NoReply;
        case FetchOutcome::OpenFailed:
        case FetchOutcome::Disconnected:
            return Exchange::Error;
        case FetchOutcome::Stopped:
            break;
    }
    return Exchange::None;
}

// Identification without a console: nothing shown, pauses on the link's clock.
class QuietView : public DiscoveryView {
  public:
    explicit QuietView(Clock& clock) : clock_(clock) {}
    void SelectPortIndex(int) override {}
    void SetAutoCaption(const std::string&) override {}
    void HideScanningPanel() override {}
    void ShowMessage(const std::string&) override {}
    void Sleep(int milliseconds) override { clock_.SleepMs(milliseconds); }

  private:
    Clock& clock_;
};

// "2026-12-08" for the local day of `time`.
std::string LocalDay(int64_t time) {
    const std::tm local = LocalTime(static_cast<std::time_t>(time));
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

// The listeners, under a lock of their own. They are called under it, so one removed is never
// called afterwards.
class Listeners {
  public:
    int Add(StationListener listener) {
        std::lock_guard lock(mutex_);
        list_.emplace_back(nextId_, std::move(listener));
        return nextId_++;
    }
    void Remove(int id) {
        std::lock_guard lock(mutex_);
        std::erase_if(list_, [id](const auto& entry) { return entry.first == id; });
    }
    void Emit(StationEventKind kind, const std::string& meter) {
        const StationEvent event{kind, meter};
        std::lock_guard lock(mutex_);
        for (const auto& entry : list_)
            entry.second(event);
    }

  private:
    std::mutex mutex_;
    std::vector<std::pair<int, StationListener>> list_;
    int nextId_ = 1;
};

// One meter's recording: a file per local day, opened with the day's first row.
class DayRecording {
  public:
    DayRecording(std::string dir, std::string name)
        : dir_(std::move(dir)), name_(std::move(name)) {}

    // Appends the rows; false with the reason when they could not be written.
    bool Add(const std::vector<FieldRow>& rows, int64_t nowMs, std::string* error) {
        std::string lines;
        for (const FieldRow& row : rows) {
            const std::string day = LocalDay(row.time);
            if (day != day_ && !(Flush(&lines, nowMs, error) && Open(day, error))) return false;
            lines += FieldCsvLine(row);
        }
        return Flush(&lines, nowMs, error) && (!open_ || file_.SyncIfDue(nowMs, error));
    }

    bool Close(std::string* error) {
        if (!open_) return true;
        open_ = false;
        return file_.Close(error);
    }

  private:
    bool Flush(std::string* lines, int64_t nowMs, std::string* error) {
        if (lines->empty()) return true;
        const bool appended = file_.Append(*lines, nowMs, error);
        lines->clear();
        return appended;
    }

    // A file of that day already there (the station was restarted) is kept; the rows go on in
    // the next free name.
    bool Open(const std::string& day, std::string* error) {
        if (!Close(error)) return false;
        const std::string stem = dir_ + "/" + name_ + "-" + day;
        for (int n = 1; n <= kMostFilesPerDay; ++n) {
            const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".csv";
            std::error_code ignored;
            if (std::filesystem::exists(path, ignored)) continue;
            if (!file_.Create(path, std::string(kFieldRecordingHeader) + "\n", error)) return false;
            day_ = day;
            open_ = true;
            return true;
        }
        *error = stem + ".csv: no free name left for the day";
        return false;
    }

    std::string dir_;
    std::string name_;
    RecordingFile file_;
    std::string day_;
    bool open_ = false;
};

struct KeyRequest {
    const char* command;
    bool done = false;
    Station::KeyResult result = Station::KeyResult::Failed;
};

}  // namespace

bool ParseStationKey(const std::string& word, bool hold, StationKey* key) {
    for (const KeyWord& entry : kKeyWords) {
        if (word == entry.word && hold == entry.hold) {
            *key = entry.key;
            return true;
        }
    }
    return false;
}

namespace {

// One meter and its worker. The worker alone talks to the link and owns the fields marked so;
// the rest is guarded by mutex_ and read as copies by every other thread.
class StationMeter {
  public:
    StationMeter(std::string name, std::string path, MeterLink& link, const StationOptions& options,
                 const std::atomic<bool>& stop, Listeners& listeners)
        : link_(link),
          clock_(link.port.clock()),
          options_(options),
          stop_(stop),
          listeners_(listeners),
          recording_(options.recordDir, name) {
        com_ = link.port.Ports().NumberOf(path);
        if (com_ == 0) com_ = link.port.Ports().MapToFreeNumber(path);
        state_.name = std::move(name);
        state_.path = std::move(path);
    }

    const std::string& Name() const { return state_.name; }  // never changes
    void Start() {
        thread_ = std::thread([this] { Run(); });
    }
    void Wake() {
        { std::lock_guard lock(mutex_); }  // a worker between its test and its wait sees the stop
        wake_.notify_all();
    }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

    MeterSnapshot Snapshot() const {
        std::lock_guard lock(mutex_);
        MeterSnapshot snapshot = state_;
        const int64_t now = clock_.NowMs();
        if (Fresh(readingAtMs_, options_.everyMs, now)) snapshot.reading = newest_;
        if (Fresh(spectrumAtMs_, options_.spectrumEveryMs, now)) snapshot.spectrum = spectrum_;
        if (Fresh(screenAtMs_, std::min(options_.everyMs, kScreenAtLeastEveryMs), now))
            snapshot.screen = screen_;
        return snapshot;
    }

    std::vector<FieldRow> Rows(int64_t sinceTime) const {
        std::lock_guard lock(mutex_);
        auto from =
            std::lower_bound(rows_.begin(), rows_.end(), sinceTime,
                             [](const FieldRow& row, int64_t time) { return row.time < time; });
        return {from, rows_.end()};
    }

    Station::KeyResult PressKey(const char* command) {
        auto request = std::make_shared<KeyRequest>(KeyRequest{command});
        std::unique_lock lock(mutex_);
        if (!state_.up || stop_) return Station::KeyResult::MeterDown;
        keys_.push_back(request);
        wake_.notify_all();
        if (!keyDone_.wait_for(lock, kKeyWait, [&] { return request->done; }))
            std::erase(keys_, request);
        return request->result;
    }

  private:
    // A value is fresh for three of its periods (at least 5 s), and only while the meter is up.
    bool Fresh(std::optional<int64_t> atMs, int64_t periodMs, int64_t nowMs) const {
        return state_.up && atMs &&
               nowMs - *atMs <= std::max(kFreshPeriods * periodMs, kFreshAtLeastMs);
    }

    bool Connected() const { return identified_ && !link_.LinkLost; }
    bool SweepsDue() const {
        return options_.spectrumEveryMs > 0 && SpectrumSupported(link_.DeviceModel);
    }

    void Run() {
        int64_t nextField = clock_.NowMs();
        int64_t nextScreen = nextField;
        int64_t nextSweep = nextField;
        while (!stop_) {
            SendKeys();
            int64_t started = clock_.NowMs();
            if (keySent_) nextScreen = started;  // the display shows what the key did at once
            keySent_ = false;
            if (!Connected()) {
                if (!Identify()) {
                    WaitUntil(started + kRetryEveryMs);
                    continue;
                }
                started = nextField = nextScreen = nextSweep = clock_.NowMs();
            }
            if (started >= nextField)
                nextField = started + (FetchField() ? options_.everyMs
                                                    : std::max(options_.everyMs, kRetryEveryMs));
            SendKeys();
            const bool up = Up();
            if (up && !stop_ && clock_.NowMs() >= nextScreen) {
                FetchScreen();
                nextScreen = started + std::min(options_.everyMs, kScreenAtLeastEveryMs);
            }
            if (up && !stop_ && SweepsDue() && clock_.NowMs() >= nextSweep) {
                FetchSpectrum();
                nextSweep = started + options_.spectrumEveryMs;
            }
            int64_t due = nextField;
            if (Up()) due = std::min(due, nextScreen);
            if (Up() && SweepsDue()) due = std::min(due, nextSweep);
            WaitUntil(due);
        }
        Finish();
    }

    bool Up() const {
        std::lock_guard lock(mutex_);
        return state_.up;
    }

    // Waits on the link's clock until dueMs or a stop, sending keys at once meanwhile. On the
    // computer's clock a key or a stop wakes it; on any other it looks every slice.
    void WaitUntil(int64_t dueMs) {
        const bool realClock = &clock_ == &SystemClock();
        for (int64_t now = clock_.NowMs(); !stop_ && !keySent_ && now < dueMs;
             now = clock_.NowMs()) {
            const int slice = static_cast<int>(std::min<int64_t>(kWaitSliceMs, dueMs - now));
            if (realClock) {
                std::unique_lock lock(mutex_);
                wake_.wait_for(lock, std::chrono::milliseconds(dueMs - now),
                               [&] { return stop_ || !keys_.empty(); });
            } else {
                clock_.SleepMs(slice);
            }
            SendKeys();
        }
    }

    bool Identify() {
        bool found = false;
        if (link_.LinkLost) {
            found = ReidentifyLostMeter(link_);
        } else if (com_ != 0) {
            QuietView view(clock_);
            found = IdentifyMeter(com_ - 1, link_, view);
        }
        const bool opened = com_ != 0 && !link_.LinkLost && link_.port.LastOpenErrno() == 0;
        Count(found ? Exchange::Ok : opened ? Exchange::NoReply : Exchange::Error);
        if (found) {
            identified_ = true;
            std::lock_guard lock(mutex_);
            state_.model = ModelName(link_.DeviceModel);
            state_.firmware = link_.FirmwareRevision;
            state_.hasSpectrum = SpectrumSupported(link_.DeviceModel);
        }
        SetUp(found);
        return found;
    }

    // True when the meter answered.
    bool FetchField() {
        const FetchOutcome outcome = FetchFieldBlock(link_, com_, reading_, &stop_);
        const Exchange exchange = ExchangeOf(outcome);
        Count(exchange);
        if (exchange == Exchange::None) return true;
        SetUp(exchange == Exchange::Ok && !link_.LinkLost);
        if (outcome != FetchOutcome::Accepted) return exchange == Exchange::Ok;
        const std::vector<FieldRow> rows = recorder_.AddBlock(
            ReadFieldCounts(reading_.bytes), reading_.field, clock_.RecordingMs(), clock_.WallMs());
        KeepRows(rows);
        Record(rows);
        listeners_.Emit(StationEventKind::Reading, Name());
        return true;
    }

    void KeepRows(const std::vector<FieldRow>& rows) {
        std::lock_guard lock(mutex_);
        readingAtMs_ = clock_.NowMs();
        for (const FieldRow& row : rows)
            rows_.push_back(row);
        if (rows_.empty()) return;
        newest_ = rows_.back();
        state_.lastReadingTime = rows_.back().time;
        const int64_t oldest = rows_.back().time - options_.keepRowsSeconds;
        while (!rows_.empty() && (rows_.front().time <= oldest ||
                                  static_cast<int64_t>(rows_.size()) > options_.keepRowsSeconds))
            rows_.pop_front();
    }

    void Record(const std::vector<FieldRow>& rows) {
        if (options_.recordDir.empty() || rows.empty()) return;
        std::string error;
        const bool written = recording_.Add(rows, clock_.NowMs(), &error);
        TellRecording(written, error);
    }

    // A recording problem is said once on stderr, and kept in the snapshot until rows go in again.
    void TellRecording(bool written, const std::string& error) {
        std::lock_guard lock(mutex_);
        if (!written && state_.recordingError.empty())
            std::fprintf(stderr, "ferrolog-cli: %s: %s\n", Name().c_str(), error.c_str());
        state_.recordingError = written ? "" : error;
    }

    void FetchScreen() {
        if (!link_.TryTakePort(PortHolder::Mirror)) return;
        bool accepted = false;
        ScreenPicture picture{};
        ScreenPollRun(link_, com_, [&](const uint8_t* pixels) {
            std::memcpy(picture.data(), pixels, picture.size());
            accepted = true;
        });
        Count(accepted ? Exchange::Ok : link_.LinkLost ? Exchange::Error : Exchange::NoReply);
        if (link_.LinkLost) SetUp(false);
        if (!accepted) return;
        std::lock_guard lock(mutex_);
        screen_ = picture;
        screenAtMs_ = clock_.NowMs();
    }

    void FetchSpectrum() {
        SpectrumFetchHooks hooks;
        hooks.beforeSweep = [this] {
            std::memset(sweep_.bytes.data(), kUnansweredMark, kSpectrumReplyLength);
        };
        FetchOutcome outcome =
            FetchSpectrumSweeps(link_, com_, kFloorDbm, sweep_, hooks, nullptr, &stop_);
        const bool whole = sweep_.bytes[kSpectrumReplyLength - 1] != kUnansweredMark ||
                           sweep_.bytes[kSpectrumReplyLength - 2] != kUnansweredMark;
        if (outcome == FetchOutcome::Accepted && !whole) outcome = FetchOutcome::NoWholeReply;
        Count(ExchangeOf(outcome));
        if (link_.LinkLost) SetUp(false);
        if (outcome != FetchOutcome::Accepted) return;
        StationSpectrum spectrum;
        spectrum.time = sweepTimes_.TimeAt(clock_.RecordingMs(), clock_.WallMs());
        spectrum.startHz = sweep_.spectrum.startHz;
        spectrum.spacingHz = sweep_.spectrum.spacingHz;
        spectrum.dbm = sweep_.spectrum.dbm;
        {
            std::lock_guard lock(mutex_);
            spectrum_ = spectrum;
            spectrumAtMs_ = clock_.NowMs();
        }
        listeners_.Emit(StationEventKind::Spectrum, Name());
    }

    void SendKeys() {
        std::unique_lock lock(mutex_);
        while (!keys_.empty()) {
            std::shared_ptr<KeyRequest> request = keys_.front();
            keys_.pop_front();
            lock.unlock();
            const Bytes frame = BuildFrame(request->command);
            const bool sent = link_.port.Send(frame.data(), static_cast<int>(frame.size())) ==
                                  static_cast<int>(frame.size()) &&
                              !link_.LinkLost;
            lock.lock();
            keySent_ = keySent_ || sent;
            request->result = sent ? Station::KeyResult::Sent : Station::KeyResult::Failed;
            request->done = true;
            keyDone_.notify_all();
        }
    }

    void Count(Exchange exchange) {
        std::lock_guard lock(mutex_);
        if (exchange == Exchange::Ok) ++state_.exchangesOk;
        if (exchange == Exchange::NoReply) ++state_.exchangesNoReply;
        if (exchange == Exchange::Error) ++state_.exchangesError;
    }

    // Up or down, told to the listeners once per change (and the first time either way).
    void SetUp(bool up) {
        {
            std::lock_guard lock(mutex_);
            state_.up = up;
        }
        if (reported_ == up) return;
        reported_ = up;
        listeners_.Emit(up ? StationEventKind::Up : StationEventKind::Down, Name());
    }

    // Keys still waiting get their answer, and the recording is closed.
    void Finish() {
        std::string error;
        const bool closed = recording_.Close(&error);
        if (!closed) TellRecording(false, error);
        std::lock_guard lock(mutex_);
        for (const std::shared_ptr<KeyRequest>& request : keys_) {
            request->result = Station::KeyResult::MeterDown;
            request->done = true;
        }
        keys_.clear();
        keyDone_.notify_all();
    }

    MeterLink& link_;
    Clock& clock_;
    const StationOptions& options_;
    const std::atomic<bool>& stop_;
    Listeners& listeners_;
    int com_ = 0;  // 0: the link's table had no number left for the path

    // The worker's own.
    Measurement reading_;
    Measurement sweep_;
    FieldRecorder recorder_;
    RecordingTimeline sweepTimes_;
    DayRecording recording_;
    bool identified_ = false;
    bool keySent_ = false;  // a key went out since the last screen frame was planned
    std::optional<bool> reported_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable keyDone_;
    MeterSnapshot state_;  // without reading, spectrum and screen: those below, stamped
    std::deque<FieldRow> rows_;
    std::optional<FieldRow> newest_;
    std::optional<int64_t> readingAtMs_;
    std::optional<StationSpectrum> spectrum_;
    std::optional<int64_t> spectrumAtMs_;
    std::optional<ScreenPicture> screen_;
    std::optional<int64_t> screenAtMs_;
    std::deque<std::shared_ptr<KeyRequest>> keys_;

    std::thread thread_;
};

}  // namespace

struct Station::Impl {
    StationOptions options;
    std::atomic<bool> stop{false};
    Listeners listeners;
    std::vector<std::unique_ptr<StationMeter>> meters;  // fixed once started
    bool started = false;

    StationMeter* Find(const std::string& name) const {
        for (const auto& meter : meters)
            if (meter->Name() == name) return meter.get();
        return nullptr;
    }
};

Station::Station(StationOptions options) : impl_(std::make_unique<Impl>()) {
    impl_->options = std::move(options);
}

Station::~Station() {
    Stop();
}

void Station::AddMeter(const std::string& name, const std::string& path, MeterLink& link) {
    if (impl_->started) return;
    impl_->meters.push_back(std::make_unique<StationMeter>(name, path, link, impl_->options,
                                                           impl_->stop, impl_->listeners));
}

void Station::Start() {
    if (impl_->started) return;
    impl_->started = true;
    for (const auto& meter : impl_->meters)
        meter->Start();
}

void Station::Stop() {
    impl_->stop = true;
    for (const auto& meter : impl_->meters)
        meter->Wake();
    for (const auto& meter : impl_->meters)
        meter->Join();
}

std::vector<std::string> Station::Names() const {
    std::vector<std::string> names;
    for (const auto& meter : impl_->meters)
        names.push_back(meter->Name());
    return names;
}

std::optional<MeterSnapshot> Station::Snapshot(const std::string& name) const {
    if (const StationMeter* meter = impl_->Find(name)) return meter->Snapshot();
    return std::nullopt;
}

std::vector<FieldRow> Station::Rows(const std::string& name, int64_t sinceTime) const {
    if (const StationMeter* meter = impl_->Find(name)) return meter->Rows(sinceTime);
    return {};
}

Station::KeyResult Station::PressKey(const std::string& name, StationKey key) {
    StationMeter* meter = impl_->Find(name);
    if (!meter) return KeyResult::UnknownMeter;
    if (!impl_->started) return KeyResult::MeterDown;
    return meter->PressKey(KeyCommand(key));
}

int Station::Subscribe(StationListener listener) {
    return impl_->listeners.Add(std::move(listener));
}

void Station::Unsubscribe(int id) {
    impl_->listeners.Remove(id);
}
