// The COM number table: ordering, placeholder ports, explicit mappings.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "link/port_table.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A fake sysfs: class/tty/NAME with a device link (real ports) and, for ttyS, a type.
void AddTty(const TempDir& root, const std::string& name, bool device, const char* type = nullptr) {
    fs::path dir = fs::path(root.Path()) / "class" / "tty" / name;
    fs::create_directories(dir);
    if (device) fs::create_directories(dir / "device");
    if (type) std::ofstream(dir / "type") << type << "\n";
}

TEST(PortTable, NaturalOrderCountsNumbersAsNumbers) {
    EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(NaturalLess("ttyS1", "ttyS9"));
    EXPECT_TRUE(NaturalLess("ttyACM", "ttyACM0"));
    EXPECT_FALSE(NaturalLess("ttyS3", "ttyS3"));
}

TEST(PortTable, AdaptersComeFirstAndPlaceholderPortsAreLeftOut) {
    TempDir sys;
    AddTty(sys, "ttyS0", true, "4");  // a 16550A: real hardware
    AddTty(sys, "ttyS1", true, "0");  // registered, but no UART behind it
    AddTty(sys, "ttyS2", true);       // no type attribute at all
    AddTty(sys, "ttyUSB10", true);
    AddTty(sys, "ttyUSB2", true);
    AddTty(sys, "ttyACM0", true);
    AddTty(sys, "tty3", false);     // a virtual console
    AddTty(sys, "ttyUSB7", false);  // a stale name without a device
    std::vector<std::string> expected = {"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0",
                                         "/dev/ttyS0"};
    EXPECT_EQ(ListSerialDevices(sys.Path(), "/dev"), expected);
}

TEST(PortTable, ExplicitMappingsComeFirstAndSystemPortsFillTheGaps) {
    TempDir sys;
    AddTty(sys, "ttyUSB0", true);
    AddTty(sys, "ttyUSB1", true);
    PortTable table;
    table.Map(1, "/tmp/meter");
    table.Map(3, "/dev/ttyUSB1");
    table.FillFromSystem(sys.Path(), "/dev");
    EXPECT_EQ(table.PathOf(1), "/tmp/meter");
    EXPECT_EQ(table.PathOf(2), "/dev/ttyUSB0");
    EXPECT_EQ(table.PathOf(3), "/dev/ttyUSB1");  // not mapped a second time
    EXPECT_EQ(table.PathOf(4), "");
    EXPECT_EQ(table.NumberOf("/dev/ttyUSB1"), 3);
}

TEST(PortTable, MapToFreeNumberTakesTheLowestGapAndKeepsKnownPaths) {
    PortTable table;
    table.Map(1, "/a");
    EXPECT_EQ(table.MapToFreeNumber("/b"), 2);
    EXPECT_EQ(table.MapToFreeNumber("/a"), 1);
    for (int n = 3; n <= PortTable::kPortCount; ++n)
        table.Map(n, "/x" + std::to_string(n));
    EXPECT_EQ(table.MapToFreeNumber("/c"), 0);
    EXPECT_EQ(table.PathOf(0), "");
    EXPECT_EQ(table.PathOf(33), "");
}

TEST(PortTable, PortMappingsParseOnlyValidComNumbers) {
    struct Case {
        const char* text;
        bool ok;
        int com;
        const char* path;
    };
    const Case cases[] = {
        {"1=/dev/ttyUSB0", true, 1, "/dev/ttyUSB0"},
        {"32=/tmp/m", true, 32, "/tmp/m"},
        {"COM12=/dev/x", true, 12, "/dev/x"},
        {"0=/dev/x", false, 0, ""},
        {"33=/dev/x", false, 0, ""},
        {"=/dev/x", false, 0, ""},
        {"3=", false, 0, ""},
        {"x=/dev/x", false, 0, ""},
        {"/dev/ttyUSB0", false, 0, ""},
    };
    for (const Case& c : cases) {
        int com = 0;
        std::string path;
        EXPECT_EQ(ParsePortMapping(c.text, &com, &path), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(com, c.com) << c.text;
            EXPECT_EQ(path, c.path) << c.text;
        }
    }
}

}  // namespace

namespace {

TEST(PortTable, TheKernelsConsoleIsNeverAPortToScan) {
    TempDir sys;
    AddTty(sys, "ttyS0", true, "4");
    AddTty(sys, "ttyS1", true, "4");
    AddTty(sys, "ttyUSB0", true);
    fs::create_directories(fs::path(sys.Path()) / "class" / "tty" / "console");
    std::ofstream(fs::path(sys.Path()) / "class" / "tty" / "console" / "active") << "tty0 ttyS0\n";
    EXPECT_EQ(ListSerialDevices(sys.Path(), "/dev"),
              (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyS1"}));
}

}  // namespace
