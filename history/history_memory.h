#pragma once
// The meter's history memory as the download sees it: 1 MiB read in 4096-byte blocks with
// "<SPIR" requests, the names of the two output files, and the texts of the history dialog.

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "link/command_frame.h"

inline constexpr size_t kHistoryMemorySize = 1048576;
inline constexpr size_t kHistoryBlockSize = 4096;
inline constexpr size_t kHistoryBlockCount = kHistoryMemorySize / kHistoryBlockSize;  // 256

// "<SPIR", the 3-byte big-endian address, the 2-byte big-endian count 4096, ">>": 12 bytes.
Bytes SpirRequest(uint32_t address);

// Block acceptance. Before each block the worker marks the first two and the last two bytes
// of its place with 0xBB; a block whose last two bytes still read 0xBB 0xBB is incomplete.
inline constexpr uint8_t kBlockUnreadMark = 0xBB;
void MarkBlockUnread(uint8_t* block);
bool BlockIncomplete(const uint8_t* block);
// A block that begins with 0xFF 0xFF is erased memory: the log has ended before it.
bool BlockErased(const uint8_t* block);

// Whether the blocks of one download can be the meter's memory. A reply has no header, length
// or checksum, so 4096 bytes of anything pass the frame rules; the memory they claim to be is
// a stream of records. The walk goes on from block to block where the CSV's own walk would,
// and a block is refused when a time stamp in it names no possible time, or when less than
// half of it is records or blank flash (pairs of 0xFF, or of 0x00 where bits were cleared).
// Real memory is records back to back up to the blank end of the log; a block that begins
// erased ends the log and is not looked into.
class HistoryBlockCheck {
  public:
    // The block at blockOffset of memory (the blocks before it accepted): true, and the walk
    // moves on, when it can be the meter's memory; false, and nothing changes, when not.
    bool Accept(const uint8_t* memory, size_t blockOffset);

  private:
    size_t walkFrom_ = 0;  // the first record not yet looked at whole
};

// Attempt pacing: the first wait is 450 ms, each further attempt waits 50 ms longer, and a
// block still incomplete after the 900 ms wait fails the download. 500 ms between attempts.
inline constexpr int kBlockFirstWaitMs = 450;
inline constexpr int kBlockWaitStepMs = 50;
inline constexpr int kBlockLastWaitMs = 900;
inline constexpr int kBlockRetryPauseMs = 500;

// "emfhistory_%m%d%Y_%H%M%S" of the given local time, e.g. emfhistory_12072026_013000.
std::string HistoryDefaultName(const std::tm& localTime);

struct HistoryOutputFiles {
    std::string bin;  // the chosen path + ".bin", whatever it ends with
    std::string csv;  // the chosen path without any ".csv", then ".csv"
};
HistoryOutputFiles HistoryOutputNames(const std::string& chosenPath);

// Progress bar position in percent (1…100) for `bytes` of the memory read so far.
int HistoryProgressPercent(size_t bytes);
// The same while saving: at least 5.
int HistorySavingProgressPercent(size_t bytes);

// Status texts; the caption and the button captions live with the dialog's template.
inline constexpr const char* kHistorySavingStatus = "Saving to file...";
inline constexpr const char* kHistoryCanceledStatus = "Canceled.";
inline constexpr const char* kHistoryFailedStatus = "Download Failed.";

// "Downloading %dKB of maximum 1MB" with the block offset / 1000.
std::string HistoryDownloadingStatus(size_t blockOffset);
// "Download Finished. %dKB" with the counted bytes / 1000; also the final message box.
std::string HistoryFinishedStatus(size_t countedBytes);
// "Download stopped. %dKB saved." after Stop/Save: the memory may hold more than was saved.
std::string HistoryStoppedStatus(size_t countedBytes);

// The history download is offered for models 4 (ZTX440, VXQ) and 5 (ZTX-8800).
bool HistoryDownloadAllowed(int model);
