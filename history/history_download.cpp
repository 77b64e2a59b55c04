#include "history/history_download.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <string_view>

#include "history/history_csv.h"
#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/local_time.h"
#include "link/utf8_path.h"
#include "measure/whole_file.h"
#include "res/history_dialog_template.h"

void HistoryFlags::Clear() {
    HistoryDownloading = false;
    HistoryStopSave = false;
    HistoryCancel = false;
    HistoryCloseRequested = false;
}

// The two output files of one download. Either may have failed to open (or been left to the
// caller); its writes are then lost and the download goes on.
class HistoryDownload::Outputs {
  public:
    Outputs(const HistoryOutputFiles& names, bool open) : names_(names) {
        if (!open) return;
        bin_.open(Utf8Path(names.bin), std::ios::binary | std::ios::trunc);
        csv_.open(Utf8Path(names.csv), std::ios::binary | std::ios::trunc);
        csvCreated_ = csv_.is_open();
    }

    const HistoryOutputFiles& Names() const { return names_; }
    std::ofstream& Bin() { return bin_; }
    std::ofstream& Csv() { return csv_; }

    void Close() {
        csv_.close();
        bin_.close();
    }

    // Only a CSV this download created is removed: a path it could not open may be
    // somebody else's.
    void DeleteCsv() {
        csv_.close();
        if (csvCreated_) RemoveFile(names_.csv);
    }

  private:
    HistoryOutputFiles names_;
    std::ofstream bin_;
    std::ofstream csv_;
    bool csvCreated_ = false;
};

HistoryDownload::HistoryDownload(CSerialPort& port, HistoryView& view) : port_(port), view_(view) {}

HistoryResult HistoryDownload::Run() {
    // A "Stop/Save" pressed while the last download was saving belongs to that one.
    flags_.HistoryStopSave = false;
    check_ = HistoryBlockCheck{};
    const std::optional<std::string> chosen = view_.ChooseSavePath(HistoryDefaultNameNow());
    if (!chosen || chosen->empty()) return {};

    Outputs outputs(HistoryOutputNames(*chosen), writesFiles_);
    view_.SetDownloadCaption(kHistoryStopSaveButton);
    view_.SetExitCaption(kHistoryCancelButton);
    flags_.HistoryDownloading = true;

    // Every block before the current one was counted, so its offset is the count so far.
    for (size_t offset = 0; offset < kHistoryMemorySize; offset += kHistoryBlockSize) {
        view_.SetStatus(HistoryDownloadingStatus(offset));
        view_.SetProgress(HistoryProgressPercent(offset), offset);
        switch (FetchBlock(offset)) {
            case BlockOutcome::Accepted:
                if (BlockErased(&memory_[offset])) return Save(offset, outputs);
                break;
            case BlockOutcome::StopSave:
                return Save(offset, outputs, true);
            case BlockOutcome::Canceled:
                return Abandon(HistoryOutcome::Canceled, offset, outputs);
            case BlockOutcome::Failed:
                return Abandon(HistoryOutcome::Failed, offset, outputs);
        }
    }
    return Save(kHistoryMemorySize, outputs);
}

// A whole block that cannot be the meter's memory (the line spoiled it) is asked for again,
// after the row's pause, as often as the row tries an incomplete one; one that never comes
// as memory fails the download, so no such block is ever counted.
HistoryDownload::BlockOutcome HistoryDownload::FetchBlock(size_t offset) {
    for (int ask = 1;; ++ask) {
        const BlockOutcome outcome = AskForBlock(offset);
        if (outcome != BlockOutcome::Accepted || check_.Accept(memory_.data(), offset))
            return outcome;
        if (ask == kHistoryPolicy.attempts) return BlockOutcome::Failed;
        if (!PauseUnlessCanceled(kHistoryPolicy.pauseBetweenMs)) return BlockOutcome::Canceled;
    }
}

// Attempts at one block, paced by the history row of the exchange table: each waits 50 ms
// longer than the last, the tenth (900 ms) is the last. A cancel is seen within 1 ms of a wait
// or a pause, "Stop/Save" once an attempt has read. A block that stays incomplete, a line that
// cannot be brought back into step and a meter that went away all fail the download.
HistoryDownload::BlockOutcome HistoryDownload::AskForBlock(size_t offset) {
    const ExchangeResult result = RunExchange(
        port_, kHistoryPolicy, SpirRequest(static_cast<uint32_t>(offset)), &memory_[offset],
        port_.OpenPortNumber(), &flags_.HistoryCancel, &flags_.HistoryStopSave);
    if (result.stopped) return BlockOutcome::Canceled;
    if (flags_.HistoryStopSave.exchange(false)) return BlockOutcome::StopSave;
    return result.whole ? BlockOutcome::Accepted : BlockOutcome::Failed;
}

// False when a cancel came meanwhile; it is seen within 1 ms.
bool HistoryDownload::PauseUnlessCanceled(int ms) {
    Clock& clock = port_.clock();
    for (const Deadline until(clock, ms); !until.Passed(); clock.SleepMs(1))
        if (flags_.HistoryCancel) return false;
    return !flags_.HistoryCancel;
}

HistoryResult HistoryDownload::Save(size_t countedBytes, Outputs& outputs, bool stopSaved) {
    view_.SetProgress(HistorySavingProgressPercent(countedBytes), countedBytes);
    view_.SetStatus(kHistorySavingStatus);
    view_.SetDownloadCaption(kHistoryPleaseWaitButton);
    WriteHistoryCsv(memory_.data(), countedBytes, outputs.Csv());
    ShowIdleButtons();
    flags_.HistoryDownloading = false;
    // The dump is what the CSV was made from, so it can be decoded again later.
    outputs.Bin().write(reinterpret_cast<const char*>(memory_.data()),
                        static_cast<std::streamsize>(countedBytes));
    view_.ShowFinished(HistoryFinishedStatus(countedBytes));
    outputs.Close();
    return {HistoryOutcome::Finished, countedBytes, stopSaved, outputs.Names()};
}

// What has arrived is dropped: no CSV, an empty dump, no message.
HistoryResult HistoryDownload::Abandon(HistoryOutcome outcome, size_t countedBytes,
                                       Outputs& outputs) {
    outputs.DeleteCsv();
    ShowIdleButtons();
    view_.SetStatus(outcome == HistoryOutcome::Canceled ? kHistoryCanceledStatus
                                                        : kHistoryFailedStatus);
    flags_.HistoryDownloading = false;
    outputs.Close();
    return {outcome, countedBytes, false, outputs.Names()};
}

void HistoryDownload::ShowIdleButtons() {
    view_.SetDownloadCaption(kHistoryDownloadButton);
    view_.SetExitCaption(kHistoryExitButton);
}

bool WriteHistoryFiles(const HistoryOutputFiles& names, const uint8_t* memory, size_t count,
                       std::string* failedPath, std::string* error) {
    const std::string_view dump(reinterpret_cast<const char*>(memory), count);
    *failedPath = names.bin;
    if (!WriteFileWhole(names.bin, dump, error)) return false;
    *failedPath = names.csv;
    if (WriteFileWhole(names.csv, HistoryCsvText(memory, count), error)) return true;
    RemoveFile(names.bin);  // a dump without its table is half a download
    return false;
}

std::string HistoryDefaultNameNow() {
    return HistoryDefaultName(CurrentLocalTime());
}
