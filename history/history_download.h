#pragma once
// The history download as its worker runs it: choose the output files, read the meter's
// history memory block by block with "<SPIR" requests into the download's own copy of it, and
// write the CSV
// table and the binary dump. What the user sees goes through a HistoryView, so the history
// dialog and the command-line tool run the same download.

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "history/history_memory.h"
#include "link/serial_port.h"

// The flags that steer one download. The user's side sets HistoryStopSave and HistoryCancel;
// the worker sets and clears HistoryDownloading and clears HistoryStopSave when it acts on it.
struct HistoryFlags {
    // From the moment the output files are open until the download finished, failed or
    // was cancelled.
    std::atomic<bool> HistoryDownloading{false};
    // "Stop/Save" pressed: keep what has arrived. Seen at the end of the current attempt.
    std::atomic<bool> HistoryStopSave{false};
    // "Cancel" pressed or the dialog closed: seen within 1 ms while the worker waits.
    std::atomic<bool> HistoryCancel{false};
    // The dialog's close box was used; the dialog closes once no download runs.
    std::atomic<bool> HistoryCloseRequested{false};

    void Clear();
};

// What a download shows. Every call comes from the thread that runs the download.
class HistoryView {
  public:
    virtual ~HistoryView() = default;
    // The Save dialog, opened with initialName; nothing when the user cancels it.
    virtual std::optional<std::string> ChooseSavePath(const std::string& initialName) = 0;
    // The status line.
    virtual void SetStatus(const std::string& text) = 0;
    // The progress bar in percent (1…100) and the bytes it stands for.
    virtual void SetProgress(int percent, size_t bytes) = 0;
    // The captions of the Download (1062) and Exit (1064) buttons.
    virtual void SetDownloadCaption(const std::string& text) = 0;
    virtual void SetExitCaption(const std::string& text) = 0;
    // The status line and message box of a finished download, "Download Finished. %dKB",
    // which a view shows once the files are written.
    virtual void ShowFinished(const std::string& text) = 0;
};

enum class HistoryOutcome {
    NoFile,    // the file choice was cancelled or empty: nothing was downloaded
    Finished,  // the CSV and the dump hold countedBytes
    Canceled,  // the CSV was deleted, the dump left empty
    Failed,    // a block stayed incomplete or was never the meter's memory; as Canceled otherwise
};

struct HistoryResult {
    HistoryOutcome outcome = HistoryOutcome::NoFile;
    size_t countedBytes = 0;  // counted when it ended: a multiple of 4096, at most 1 MiB
    bool stopSaved = false;   // Finished by "Stop/Save" before the log's end was seen
    HistoryOutputFiles files;
};

class HistoryDownload {
  public:
    // port must stay open (it is never opened or closed here) for as long as Run runs.
    HistoryDownload(CSerialPort& port, HistoryView& view);

    HistoryFlags& Flags() { return flags_; }

    // The download writes its two files as it goes unless told here to leave them to its
    // caller, who writes them whole from Memory() afterwards (WriteHistoryFiles).
    void LeaveFilesToCaller() { writesFiles_ = false; }

    // The memory as downloaded: block k at offset 4096·k, kHistoryMemorySize bytes, zero at
    // start and kept between the downloads of this object. Only Run writes it, on its thread;
    // read it once Run has returned.
    const uint8_t* Memory() const { return memory_.data(); }

    // The whole job of one download, on the calling thread: file choice, the blocks until the
    // log ends or 1 MiB has arrived, then saving. A Stop/Save left pending by an earlier
    // download is dropped first; HistoryCancel is the caller's to clear before it starts.
    HistoryResult Run();

  private:
    enum class BlockOutcome { Accepted, StopSave, Canceled, Failed };
    class Outputs;

    BlockOutcome FetchBlock(size_t offset);
    BlockOutcome AskForBlock(size_t offset);
    bool PauseUnlessCanceled(int ms);
    HistoryResult Save(size_t countedBytes, Outputs& outputs, bool stopSaved = false);
    HistoryResult Abandon(HistoryOutcome outcome, size_t countedBytes, Outputs& outputs);
    void ShowIdleButtons();

    CSerialPort& port_;
    HistoryView& view_;
    HistoryFlags flags_;
    HistoryBlockCheck check_;
    bool writesFiles_ = true;
    std::vector<uint8_t> memory_ = std::vector<uint8_t>(kHistoryMemorySize);
};

// Writes the dump (names.bin) and its table (names.csv) of memory[0, count), both or neither:
// when one cannot be written whole, nothing this call wrote is left under either name, and
// failedPath and error say which file failed and why.
bool WriteHistoryFiles(const HistoryOutputFiles& names, const uint8_t* memory, size_t count,
                       std::string* failedPath, std::string* error);

// The default file name for now, in local time: "emfhistory_%m%d%Y_%H%M%S".
std::string HistoryDefaultNameNow();
