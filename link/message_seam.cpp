#include "link/message_seam.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex handlerMutex;
MessageHandler handler;
}  // namespace

MessageHandler SetMessageHandler(MessageHandler newHandler) {
    std::lock_guard lock(handlerMutex);
    MessageHandler old = std::move(handler);
    handler = std::move(newHandler);
    return old;
}

void ShowMessage(const std::string& text) {
    MessageHandler current;
    {
        std::lock_guard lock(handlerMutex);
        current = handler;
    }
    if (current) {
        current(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}
