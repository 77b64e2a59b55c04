#include "sim/paced_output.h"

#include <algorithm>
#include <climits>
#include <cmath>

PacedOutput::PacedOutput(double bytesPerSecond)
    : byteUs_(bytesPerSecond > 0 ? 1e6 / bytesPerSecond : 0) {}

void PacedOutput::Queue(const Bytes& bytes, int64_t readyAtUs) {
    if (!bytes.empty()) queue_.push_back({bytes, readyAtUs});
}

double PacedOutput::StartOf(const Reply& reply) const {
    return reply.startUs >= 0 ? reply.startUs
                              : std::max(static_cast<double>(reply.readyAtUs), lineFreeUs_);
}

Bytes PacedOutput::TakeDue(int64_t nowUs) {
    Bytes due;
    while (!queue_.empty()) {
        Reply& reply = queue_.front();
        reply.startUs = StartOf(reply);
        if (nowUs < reply.startUs) break;
        // A byte has arrived once its ten bits are through.
        size_t arrived = reply.bytes.size();
        if (byteUs_ > 0)
            arrived = std::min(arrived, static_cast<size_t>((nowUs - reply.startUs) / byteUs_));
        due.insert(due.end(), reply.bytes.begin() + static_cast<long>(reply.sent),
                   reply.bytes.begin() + static_cast<long>(std::max(arrived, reply.sent)));
        reply.sent = std::max(arrived, reply.sent);
        if (reply.sent < reply.bytes.size()) break;
        lineFreeUs_ = reply.startUs + static_cast<double>(reply.bytes.size()) * byteUs_;
        queue_.pop_front();
    }
    return due;
}

int64_t PacedOutput::NextDueUs() const {
    if (queue_.empty()) return INT64_MAX;
    const Reply& reply = queue_.front();
    const double start = StartOf(reply);
    const size_t target = std::min(reply.bytes.size(), reply.sent + kChunk);
    return static_cast<int64_t>(std::ceil(start + static_cast<double>(target) * byteUs_));
}
