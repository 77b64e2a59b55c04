#include "tests/support/mosquitto_broker.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/wait_until.h"

namespace {

constexpr const char* kMosquittoPath = "/usr/sbin/mosquitto";
constexpr int kStartBoundMs = 10000;
constexpr int kPortAttempts = 3;  // another program may take a free port before the broker

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const sockaddr_in address = Loopback(port);
    const bool connected =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

}  // namespace

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& logPath) {
    // Everything the child needs is made before fork: after it, only exec and what is safe in
    // a signal handler may run there, as other threads may hold the allocator's lock.
    std::vector<std::string> words = args;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(nothing, STDIN_FILENO);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(log);
    close(nothing);
}

ChildProcess::~ChildProcess() {
    if (Running()) Signal(SIGKILL);
    WaitExit(kStartBoundMs);
}

bool ChildProcess::Running() {
    if (pid_ <= 0 || exitCode_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

void ChildProcess::Signal(int number) {
    if (Running()) kill(pid_, number);
}

std::optional<int> ChildProcess::WaitExit(int timeoutMs) {
    WaitUntil([this] { return !Running(); }, timeoutMs);
    return exitCode_;
}

void ChildProcess::Stop(int timeoutMs) {
    Signal(SIGTERM);
    if (WaitExit(timeoutMs)) return;
    Signal(SIGKILL);
    WaitExit(timeoutMs);
}

bool MosquittoBroker::Installed() {
    return access(kMosquittoPath, X_OK) == 0;
}

MosquittoBroker::MosquittoBroker() {
    for (int attempt = 0; attempt < kPortAttempts && !Running(); ++attempt) {
        port_ = FreeLoopbackPort();
        // Anonymous and forgetful: a restart starts from nothing, as a broker that lost its disk.
        std::ofstream(dir_.File("mosquitto.conf"))
            << "listener " << port_ << " 127.0.0.1\nallow_anonymous true\npersistence false\n";
        Start();
    }
}

MosquittoBroker::~MosquittoBroker() {
    process_.reset();
}

bool MosquittoBroker::Start() {
    if (process_) return true;
    process_ = std::make_unique<ChildProcess>(
        kMosquittoPath, std::vector<std::string>{"-c", dir_.File("mosquitto.conf")}, LogPath());
    bool accepting = false;
    WaitUntil(
        [&] {
            accepting = Accepts(port_);
            return accepting || !process_->Running();
        },
        kStartBoundMs);
    if (!accepting) process_.reset();
    return accepting;
}

void MosquittoBroker::Stop() {
    if (process_) process_->Stop();
    process_.reset();
}

void MosquittoBroker::Signal(int number) {
    if (process_) process_->Signal(number);
}
