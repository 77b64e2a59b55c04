#pragma once
// The system's requests to end the program close the window as its close box does. Each
// system has its own file: close_requests_posix.cpp takes SIGTERM, SIGINT and SIGHUP (the
// handler writes a byte into a pipe that the window's thread reads), close_requests_win32.cpp
// the console's Ctrl+C and Ctrl+Break, its closing, the user logging off and the system
// shutting down (the control handler, on a thread of its own, posts the close to the window's
// thread). A handler reaches only process-wide state, so one window at a time takes them.

#include <QObject>
#include <functional>
#include <memory>

// Until the returned object is destroyed, each request calls close on the thread of window,
// which must outlive it. Null when the system refused the handler: the window then ends by
// its own controls alone.
std::unique_ptr<QObject> CloseOnEndRequests(QObject* window, std::function<void()> close);
