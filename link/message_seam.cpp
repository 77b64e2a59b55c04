#include "link/message_seam.h"

#include <cstdio>
#include <mutex>

namespace {

// The program's one road to the user (see process_wide.h).
struct Seam {
    std::mutex mutex;
    MessageHandler handler;  // guarded by mutex
} seam;

}  // namespace

MessageHandler SetMessageHandler(MessageHandler newHandler) {
    std::lock_guard lock(seam.mutex);
    MessageHandler old = std::move(seam.handler);
    seam.handler = std::move(newHandler);
    return old;
}

void ShowMessage(const std::string& text) {
    MessageHandler current;
    {
        std::lock_guard lock(seam.mutex);
        current = seam.handler;
    }
    if (current) {
        current(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}
