// The default browser on POSIX: xdg-open, run without a shell so the address is one word
// whatever it holds.

#include "cli/browser_open.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

namespace {

// xdg-open returns once the browser has the page, unless the browser runs in its place (a
// text browser): then the station goes on without its answer.
constexpr std::chrono::seconds kAnswerWait{5};
constexpr std::chrono::milliseconds kExitPoll{20};

// Its output to /dev/null, so its chatter never mixes with the station's messages.
void QuietStreams(posix_spawn_file_actions_t* actions) {
    posix_spawn_file_actions_init(actions);
    posix_spawn_file_actions_addopen(actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(actions, STDOUT_FILENO, STDERR_FILENO);
}

// The browser it may start gets the signals as a fresh program has them, not the station's
// ignored SIGPIPE.
void FreshSignals(posix_spawnattr_t* attributes) {
    posix_spawnattr_init(attributes);
    sigset_t none, pipe;
    sigemptyset(&none);
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    posix_spawnattr_setsigmask(attributes, &none);
    posix_spawnattr_setsigdefault(attributes, &pipe);
    posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

pid_t SpawnOpener(const std::string& url, std::string* error) {
    posix_spawn_file_actions_t actions;
    QuietStreams(&actions);
    posix_spawnattr_t attributes;
    FreshSignals(&attributes);
    std::string program = "xdg-open", page = url;
    char* argv[] = {program.data(), page.data(), nullptr};
    pid_t child = -1;
    const int failed = posix_spawnp(&child, "xdg-open", &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (failed == 0) return child;
    *error = std::string("cannot run xdg-open: ") + std::strerror(failed);
    return -1;
}

// Its exit status, or -2 while it still runs at the end of the wait (it is then left to run,
// unreaped: a worker that outlived the station's objects would be worse than one idle entry).
int WaitForExit(pid_t child) {
    const auto until = std::chrono::steady_clock::now() + kAnswerWait;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= until) return -2;
        std::this_thread::sleep_for(kExitPoll);
    }
}

}  // namespace

bool OpenInBrowser(const std::string& url, std::string* error) {
    const pid_t child = SpawnOpener(url, error);
    if (child < 0) return false;
    const int status = WaitForExit(child);
    if (status == 0 || status == -2) return true;
    *error = "xdg-open could not open " + url +
             (status > 0 ? " (it exited with " + std::to_string(status) + ")" : "");
    return false;
}
