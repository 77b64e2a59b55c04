// What a user is told about ports that could not be used: the scan's reasons, the hints, and
// the check of a --port mapping.

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"
#include "link/port_diagnosis.h"
#include "link/port_holders.h"
#include "link/port_table.h"
#include "tests/link/open_failure_cases.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace {

class QuietView : public DiscoveryView {
  public:
    void SelectPortIndex(int) override {}
    void SetAutoCaption(const std::string&) override {}
    void HideScanningPanel() override {}
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void Sleep(int) override {}
    std::vector<std::string> messages;
};

// A port held by a second copy is reported busy with the system's reason, a missing device
// with its own; numbers with nothing mapped are not ports and say nothing.
TEST(ScanReport, SaysPerPortWhyItCouldNotBeUsed) {
    PtyPair held;
    MeterLink firstCopy;
    firstCopy.port.Ports().Map(1, held.SlavePath());
    ASSERT_EQ(firstCopy.port.Open(1), 1);

    MeterLink link;
    link.port.Ports().Map(1, held.SlavePath());
    link.port.Ports().Map(3, "/dev/ferrolog-missing");
    QuietView view;
    ScanReport report;
    EXPECT_FALSE(ScanForMeter(link, view, &report));
    EXPECT_EQ(report.Lines(),
              (std::vector<std::string>{"COM1 " + held.SlavePath() + ": Device or resource busy",
                                        "COM3 /dev/ferrolog-missing: No such file or directory"}));
    EXPECT_TRUE(report.AnyOpenFailed());
    EXPECT_EQ(report.problems[0].failure, PortFailure::Busy);
    EXPECT_EQ(report.problems[1].failure, PortFailure::NoSuchPort);
    EXPECT_EQ(view.messages, std::vector<std::string>{kDeviceNotFound});
}

TEST(OpenFailureHint, NamesTheCauseTheUserCanActOn) {
    TempDir dir;
    const std::string plain = dir.File("ttyFake");
    std::ofstream(plain) << "";
    PtyPair pty;
    ExpectOpenFailureCases({
        {pty.SlavePath(), EBUSY, PortFailure::Busy, "another program holds " + pty.SlavePath()},
        // not the dialout group: owner and group
        {plain, EACCES, PortFailure::NoPermission, plain + " belongs to user"},
        {plain, EPERM, PortFailure::NoPermission, plain + " belongs to user"},
        // everyone holds /dev/null
        {"/dev/null", EBUSY, PortFailure::Busy, "/dev/null is not a serial device"},
        {"/dev/null", ENOTTY, PortFailure::NotSerial, "/dev/null is not a serial device"},
        {"/dev/null", EINVAL, PortFailure::NotSerial, "/dev/null is not a serial device"},
        {plain, ENOENT, PortFailure::NoSuchPort, ""},
        {plain, EIO, PortFailure::Removed, ""},
        {plain, ENXIO, PortFailure::Removed, ""},
        {plain, EMFILE, PortFailure::Other, ""},
        {plain, 0, PortFailure::None, ""},
    });
}

TEST(OpenFailureHint, TheDialoutHintOnlyForADialoutDeviceOfAUserOutsideIt) {
    const group* dialout = getgrnam("dialout");
    TempDir dir;
    const std::string device = dir.File("ttyDialout");
    std::ofstream(device) << "";
    if (!dialout || chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) != 0)
        GTEST_SKIP() << "cannot give a file to the dialout group here";
    const std::string hint = OpenFailureHint(device, PortFailure::NoPermission);
    gid_t groups[256];
    const int count = getgroups(256, groups);
    const bool member = getegid() == dialout->gr_gid ||
                        std::find(groups, groups + std::max(count, 0), dialout->gr_gid) !=
                            groups + std::max(count, 0);
    EXPECT_EQ(hint.find("usermod -aG dialout") != std::string::npos, !member) << hint;
}

TEST(PortMapping, APathThatIsNoDeviceIsRefused) {
    TempDir dir;
    const std::string file = dir.File("plain");
    std::ofstream(file) << "";
    PtyPair pty;
    EXPECT_EQ(PortMappingProblem(pty.SlavePath()), "");
    EXPECT_EQ(PortMappingProblem("/dev/ttyNOPE"), "/dev/ttyNOPE: No such file or directory");
    EXPECT_EQ(PortMappingProblem(file), file + ": not a serial device");
}

}  // namespace

// A device another process has open (a terminal program without a lock) is held; this
// process's own opens are not counted, and a pseudo-terminal is exempt.
TEST(PortHolders, AnotherProcessHoldingTheFileIsSeen) {
    TempDir dir;
    const std::string path = dir.File("device");
    std::ofstream(path) << "x";
    std::ifstream ours(path);
    EXPECT_FALSE(OtherProcessHolds(path));

    const pid_t child = fork();
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", "exec 3<\"$0\"; exec sleep 30", path.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(child, 0);
    const bool held = WaitUntil([&] { return OtherProcessHolds(path); }, 10000, 10);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(held);
    EXPECT_FALSE(OtherProcessHolds(path));

    PtyPair pty;
    EXPECT_TRUE(IsPseudoTerminal(pty.SlavePath()));
    EXPECT_FALSE(IsPseudoTerminal(path));
}
