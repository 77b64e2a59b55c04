// ferrolog-draw on POSIX: found from /proc/self/exe, run with posix_spawn, its picture read
// from a pipe.

#include "cli/draw_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

std::string DrawProgram() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    const std::filesystem::path dir = self.parent_path();
    for (const auto& candidate : {dir / FERROLOG_DRAW_FROM_BIN, dir / "../app/ferrolog-draw"})
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.lexically_normal().string();
    return {};
}

namespace {

bool ReadAll(int fd, std::string* bytes) {
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) return true;
        if (got < 0 && errno != EINTR) return false;
        if (got > 0) bytes->append(chunk, static_cast<size_t>(got));
    }
}

}  // namespace

bool RunDrawProgram(const std::string& program, const std::vector<std::string>& job,
                    std::string* png) {
    if (program.empty()) return false;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    std::vector<std::string> words = {program};
    words.insert(words.end(), job.begin(), job.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t child = 0;
    const bool spawned =
        ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    const bool read = spawned && ReadAll(out[0], png);
    // Closed before the wait, so a child still writing after a failed read is not waited on
    // for ever.
    ::close(out[0]);
    int status = 0;
    while (spawned && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return read && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
