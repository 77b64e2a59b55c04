#include "history/history_memory.h"

#include <algorithm>
#include <cstdio>

#include "history/history_record_walk.h"
#include "link/meter_identity.h"
#include "measure/measurement_file.h"

namespace {

// The progress factor 100 / 1,048,576 in single precision, as the progress bar was fed.
constexpr float kPercentPerByte = 9.5367431640625e-05f;
constexpr float kSavingMinimumPercent = 5.0f;

// Byte `index` of a value, counted from the least significant.
uint8_t ByteOf(uint32_t value, int index) {
    return static_cast<uint8_t>(value >> (8 * index));
}

bool BlankPair(const uint8_t* pair) {
    return pair[0] == pair[1] && (pair[0] == 0xFF || pair[0] == 0x00);
}

int ProgressPosition(float percent) {
    return static_cast<int>(std::clamp(percent, 1.0f, 100.0f));
}

std::string FormatKilobytes(const char* format, size_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<int>(bytes / 1000));
    return text;
}

}  // namespace

Bytes SpirRequest(uint32_t address) {
    const uint32_t count = kHistoryBlockSize;
    const Bytes parameters = {ByteOf(address, 2), ByteOf(address, 1), ByteOf(address, 0),
                              ByteOf(count, 1), ByteOf(count, 0)};
    return BuildFrame("SPIR", parameters);
}

void MarkBlockUnread(uint8_t* block) {
    block[0] = block[1] = kBlockUnreadMark;
    block[kHistoryBlockSize - 2] = block[kHistoryBlockSize - 1] = kBlockUnreadMark;
}

bool BlockIncomplete(const uint8_t* block) {
    return block[kHistoryBlockSize - 2] == kBlockUnreadMark &&
           block[kHistoryBlockSize - 1] == kBlockUnreadMark;
}

bool BlockErased(const uint8_t* block) {
    return block[0] == 0xFF && block[1] == 0xFF;
}

bool HistoryBlockCheck::Accept(const uint8_t* memory, size_t blockOffset) {
    if (BlockErased(memory + blockOffset)) return true;
    const size_t end = blockOffset + kHistoryBlockSize;
    size_t at = walkFrom_;
    size_t known = 0;  // bytes of records and blank flash
    while (at + kHistoryMarkerSize <= end) {
        const HistoryRecord record = HistoryRecordAt(memory, end, at);
        // A record that runs on into the next block, or a reading whose "Z" byte would be its
        // first byte, is looked at with that block.
        if (record.size == 0 ||
            (record.kind == HistoryRecordKind::Reading && at + kHistoryReadingSize == end))
            break;
        const uint8_t* body = memory + at + kHistoryMarkerSize;
        if (record.kind == HistoryRecordKind::Stamp && !HistoryStampPossible(body)) return false;
        if (record.kind != HistoryRecordKind::Other || BlankPair(memory + at)) known += record.size;
        at += record.size;
    }
    if (known * 2 < kHistoryBlockSize) return false;
    walkFrom_ = at;
    return true;
}

std::string HistoryDefaultName(const std::tm& localTime) {
    char name[64];
    if (std::strftime(name, sizeof name, "emfhistory_%m%d%Y_%H%M%S", &localTime) == 0) return {};
    return name;
}

HistoryOutputFiles HistoryOutputNames(const std::string& chosenPath) {
    return {chosenPath + ".bin", WithExtension(chosenPath, ".csv")};
}

int HistoryProgressPercent(size_t bytes) {
    return ProgressPosition(static_cast<float>(bytes) * kPercentPerByte);
}

int HistorySavingProgressPercent(size_t bytes) {
    return ProgressPosition(
        std::max(static_cast<float>(bytes) * kPercentPerByte, kSavingMinimumPercent));
}

std::string HistoryDownloadingStatus(size_t blockOffset) {
    return FormatKilobytes("Downloading %dKB of maximum 1MB", blockOffset);
}

std::string HistoryFinishedStatus(size_t countedBytes) {
    return FormatKilobytes("Download Finished. %dKB", countedBytes);
}

std::string HistoryStoppedStatus(size_t countedBytes) {
    return FormatKilobytes("Download stopped. %dKB saved.", countedBytes);
}

bool HistoryDownloadAllowed(int model) {
    return model == kModelZtx440 || model == kModelZtx8800;
}
