#pragma once
// The one road from GUI-free code to the user: a message box in the window, stderr in the
// command-line tool, a recorder in tests. The handler may be called from any thread.

#include <functional>
#include <string>

using MessageHandler = std::function<void(const std::string& text)>;

// Installs a handler and returns the previous one; an empty handler restores stderr.
MessageHandler SetMessageHandler(MessageHandler handler);

// Shows one message with an OK button and the program's title as caption.
void ShowMessage(const std::string& text);
