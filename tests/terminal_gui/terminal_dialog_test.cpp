// The command terminal against the virtual meter and scripted meters over real
// pseudo-terminals: its controls, the parameter rules, the frames it sends, the receiver's
// panes, and how it takes and gives back the link.

#include "terminal/terminal_dialog.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>

#include "link/command_frame.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "res/terminal_dialog_template.h"
#include "tests/support/meter_process.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"
#include "ui/file_dialog.h"
#include "ui/label_ctrl.h"
#include "ui/template_widgets.h"

namespace {

constexpr int kSelectorIndex = 0;  // COM1
constexpr int kCom = kSelectorIndex + 1;
constexpr int kReplyTimeoutMs = 3000;

bool WaitFor(const std::function<bool()>& done, int timeoutMs = kReplyTimeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QTest::qWait(5);
    return done();
}

QString Caption(const QWidget* w) {
    if (auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    if (auto* group = qobject_cast<const QGroupBox*>(w)) return group->title();
    return {};
}

class TerminalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetMessageHandler([this](const std::string& text) {
            messages.push_back(text);
            if (onMessage) onMessage(text);
        });
    }
    void TearDown() override {
        dialog_.reset();
        meter_.reset();
        SetMessageHandler(nullptr);
    }

    void StartMeter(std::vector<std::string> extra = {}) {
        extra.insert(extra.end(), {"--fast", "--log", log});
        meter_ = std::make_unique<MeterProcess>(extra);
        ASSERT_FALSE(meter_->DevicePath().empty());
        link.port.Ports().Map(kCom, meter_->DevicePath());
    }
    void StopMeter() { meter_->Stop(); }

    CTerminalDlg& Open() {
        dialog_ = std::make_unique<CTerminalDlg>(kSelectorIndex, link.port);
        dialog_->show();
        return *dialog_;
    }
    CTerminalDlg& Dialog() { return *dialog_; }

    QComboBox* Command() { return static_cast<QComboBox*>(Dialog().Control(kIdCommand)); }
    QLineEdit* Parameters() { return static_cast<QLineEdit*>(Dialog().Control(kIdParameters)); }
    QString Readout() { return static_cast<QLineEdit*>(Dialog().Control(kIdLastFrame))->text(); }
    QString PaneText(int id) {
        return static_cast<QPlainTextEdit*>(Dialog().Control(id))->toPlainText();
    }
    void Click(int id) { static_cast<QPushButton*>(Dialog().Control(id))->click(); }
    void SetTextParameters(bool on) {
        static_cast<QCheckBox*>(Dialog().Control(kIdTextParameters))->setChecked(on);
    }
    void Send(const QString& command, const QString& parameters) {
        Command()->setEditText(command);
        Parameters()->setText(parameters);
        Click(kIdSendCommand);
    }

    bool LogHas(const std::string& line) {
        return WaitFor([&] {
            for (const auto& l : ReadLogLines(log))
                if (l == line) return true;
            return false;
        });
    }

    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterLink link;
    std::vector<std::string> messages;
    std::function<void(const std::string&)> onMessage;

  private:
    std::unique_ptr<MeterProcess> meter_;
    std::unique_ptr<CTerminalDlg> dialog_;
};

// A scripted meter on a bare pseudo-terminal, for exact bytes and floods.
class ScriptedTerminalTest : public TerminalTest {
  protected:
    void UsePeer(ScriptedPeer::Script script) {
        link.port.Ports().Map(kCom, pty.SlavePath());
        peer = std::make_unique<ScriptedPeer>(pty, std::move(script));
    }
    void TearDown() override {
        TerminalTest::TearDown();
        peer.reset();
    }
    std::vector<Bytes> Frames() { return peer->Frames(); }

    PtyPair pty;
    std::unique_ptr<ScriptedPeer> peer;
};

ScriptedReply Silent(const Bytes&, int) {
    return {};
}

// --- The dialog as built -------------------------------------------------------------------

struct Place {
    int id;
    const char* caption;  // nullptr: not a captioned control
    int x, y, w, h;       // dialog units
};

// clang-format off
const Place kPlaces[] = {
    {kNoId,  "Comport information:",                               7,   7, 188,  28},
    {1191,   "COM1,115200,n,8,1",                                  15,  15, 176,  17},
    {1192,   "Reconnect",                                          203,  13,  75,  21},
    {kNoId,  "Received in Hex Value:",                              7,  38, 113,  10},
    {1186,   nullptr,                                                7,  50, 239,  31},
    {1196,   "Clear",                                              250,  58,  28,  14},
    {kNoId,  "Received in ASCII text:",                             7,  85, 120,   8},
    {1194,   nullptr,                                                7,  97, 241,  34},
    {1195,   "Clear",                                              251, 105,  27,  14},
    {kNoId,  "Last command in hexadecimal been sent to comport",     7, 134, 271,  27},
    {1205,   nullptr,                                               13, 145, 257,  12},
    {kNoId,  "Command Text",                                        21, 163,  78,  11},
    {kNoId,  "Hexadecimal Parameters (E.g.  00 AE F0)",            103, 163, 175,   8},
    {kNoId,  "<",                                                   10, 178,   8,   8},
    {1193,   nullptr,                                               21, 176,  78,  -1},
    {1188,   nullptr,                                              102, 176, 149,  14},
    {kNoId,  ">>",                                                 255, 180,  13,  10},
    {1224,   "Text Parameters",                                    103, 194,  90,  10},
    {1189,   "Send command with parameters",                        19, 212, 235,  19},
    {kNoId,  "Key commands",                                         6, 241, 271,  40},
    {1197,   "Key1 (S1)",                                           16, 256,  50,  14},
    {1198,   "Key2 (S2)",                                           86, 256,  50,  14},
    {1200,   "Key3 (S3)",                                          155, 256,  50,  14},
    {1199,   "Key4 (S4)",                                          219, 256,  50,  14},
    {1,      "Exit",                                               116, 288,  60,  19},
    {1230,   "Save Log",                                           210, 288,  60,  19},
};
// clang-format on

QWidget* FindPlaced(CTerminalDlg& dialog, const Place& place) {
    if (place.id != kNoId) return dialog.Control(place.id);
    for (QWidget* w : dialog.findChildren<QWidget*>())
        if (w->isVisible() && Caption(w) == place.caption) return w;
    return nullptr;
}

TEST_F(TerminalTest, EveryControlSitsAtItsPlaceWithItsCaption) {
    StartMeter();
    Open();
    EXPECT_EQ(Dialog().windowTitle(), "HX Terminal");
    EXPECT_EQ(Dialog().size(), QSize(427, 510));  // 285 x 314 dialog units
    for (const Place& place : kPlaces) {
        QWidget* w = FindPlaced(Dialog(), place);
        ASSERT_NE(w, nullptr) << place.id << " " << (place.caption ? place.caption : "");
        EXPECT_TRUE(w->isVisible()) << place.id;
        const QRect expected = DialogRectToPixels(place.x, place.y, place.w, std::max(place.h, 0));
        EXPECT_EQ(w->pos(), expected.topLeft()) << place.id << " " << Caption(w).toStdString();
        EXPECT_EQ(w->width(), expected.width()) << place.id;
        if (place.h > 0) {
            EXPECT_EQ(w->height(), expected.height()) << place.id;
        }
        if (place.caption) {
            EXPECT_EQ(Caption(w), place.caption) << place.id;
        }
        // Labels and the check box show their whole caption, never a clipped one.
        const int needed = qobject_cast<QCheckBox*>(w) ? w->sizeHint().width()
                           : qobject_cast<QLabel*>(w)
                               ? w->fontMetrics().horizontalAdvance(Caption(w))
                               : 0;
        EXPECT_LE(needed, w->width()) << Caption(w).toStdString();
    }
    auto* exit = static_cast<QPushButton*>(Dialog().Control(kIdOk));
    EXPECT_TRUE(exit->isDefault());
    for (int id : {1186, 1194})
        EXPECT_TRUE(static_cast<QPlainTextEdit*>(Dialog().Control(id))->isReadOnly()) << id;
    EXPECT_TRUE(static_cast<QLineEdit*>(Dialog().Control(1205))->isReadOnly());
    EXPECT_FALSE(static_cast<QCheckBox*>(Dialog().Control(1224))->isChecked());
}

TEST_F(TerminalTest, CalibrationControlsAreThereButNeverShown) {
    StartMeter();
    Open();
    for (int id : {1080, 1081, 1082, 1083, 1084, 1085, 1209, 1212}) {
        QWidget* w = Dialog().Control(id);
        ASSERT_NE(w, nullptr) << id;
        EXPECT_FALSE(w->isVisible()) << id;
        EXPECT_TRUE(QRect(QPoint(0, 0), Dialog().size()).contains(w->geometry())) << id;
    }
    EXPECT_EQ(Caption(Dialog().Control(1212)), "Read From Unit");
    EXPECT_EQ(Caption(Dialog().Control(1209)), "Write To Unit");
    for (const char* caption : {"Calibration", "CPM:", "uSv:"}) {
        int found = 0;
        for (QWidget* w : Dialog().findChildren<QWidget*>()) {
            if (Caption(w) != caption) continue;
            ++found;
            EXPECT_FALSE(w->isVisible()) << caption;
        }
        EXPECT_EQ(found, 1) << caption;
    }
}

TEST_F(TerminalTest, PortLineShowsTheSettingsInGreenBoldArial18) {
    StartMeter();
    Open();
    auto* label = qobject_cast<CLabelCtrl*>(Dialog().Control(kIdPortInfo));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "COM1,115200,n,8,1");
    EXPECT_EQ(label->TextColor(), QColor(0, 158, 0));
    EXPECT_TRUE(label->IsBold());
    EXPECT_EQ(label->LabelFont().family(), "Arial");
    EXPECT_EQ(label->LabelFont().pixelSize(), 24);  // 18 points at 96 dpi
    EXPECT_EQ(label->LabelFont().weight(), QFont::Bold);
}

TEST_F(TerminalTest, CommandListHoldsItsNamesInOrderAndTwoEmptyItems) {
    StartMeter();
    Open();
    const QStringList expected = {
        "ALARM0",   "ALARM1",     "CFGUPDATE",
        "EchoON",   "EchoOFF",    "FACTORYRESET",
        "GETVER",   "GETSERIAL",  "GETVOLT",
        "GETGYRO",  "GETEMFDATA", "GETDATETIME",
        "GETEMF",   "GETEF",      "GETBANDDATA",
        "GETMODE",  "SETEMF",     "KEY0",
        "KEY1",     "KEY2",       "KEY3",
        "SPEAKER0", "SPEAKER1",   "POWEROFF",
        "POWERON",  "REBOOT",     "",
        "",
    };
    QStringList items;
    for (int i = 0; i < Command()->count(); ++i)
        items << Command()->itemText(i);
    EXPECT_EQ(items, expected);
    EXPECT_TRUE(Command()->isEditable());
    EXPECT_EQ(Command()->currentText(), "");
    EXPECT_TRUE(Parameters()->isEnabled());
    EXPECT_EQ(Parameters()->text(), "");
}

// Each step picks or types a command after the one before; disabled boxes keep their text.
TEST_F(TerminalTest, ParameterRulesFollowTheCommandBox) {
    StartMeter();
    Open();
    struct Step {
        const char* command;
        bool pick;  // picked from the list; otherwise typed
        const char* text;
        bool enabled;
    };
    const Step steps[] = {
        {"SPIR", false, "00 00 00 00 FF", true},
        {"GETVER", true, "00 00 00 00 FF", false},
        {"SPIPW", false, "00 00 00 00 02 55 AA", true},
        {"KEY2", true, "00 00 00 00 02 55 AA", false},
        {"SPISE", false, "00 00 00", true},
        {"SETDATETIME", false, "0D 0B 12 05 04 03", true},
        {"WCFG", false, "01 01", true},
        {"CPMSPKCAL", false, "0A", true},
        {"GetRAM", false, "0A", false},
        {"getram", false, "", true},  // exact and case-sensitive: any other command
        {"CPMSPKCAL", false, "0A", true},
        {"EchoON", true, "", true},
        {"HEARTBEAT1", false, "", false},
        {"GETSERIAL", true, "", false},
        {"", true, "", true},  // an empty item
    };
    for (const Step& step : steps) {
        if (step.pick) {
            const int index = Command()->findText(step.command, Qt::MatchExactly);
            ASSERT_GE(index, 0) << step.command;
            Command()->setCurrentIndex(index);
        } else {
            Command()->setEditText(step.command);
        }
        EXPECT_EQ(Parameters()->text(), step.text) << step.command;
        EXPECT_EQ(Parameters()->isEnabled(), step.enabled) << step.command;
    }
}

TEST_F(TerminalTest, TypingKeyByKeyAppliesTheRuleOfTheWholeName) {
    StartMeter();
    Open();
    Parameters()->setText("12 34");
    QTest::keyClicks(Command()->lineEdit(), "SPISE");
    EXPECT_EQ(Command()->currentText(), "SPISE");
    EXPECT_EQ(Parameters()->text(), "00 00 00");
    QTest::keyClick(Command()->lineEdit(), Qt::Key_Backspace);  // "SPIS"
    EXPECT_EQ(Parameters()->text(), "");
    EXPECT_TRUE(Parameters()->isEnabled());
}

TEST_F(TerminalTest, SpirWithItsDefaultParametersReachesTheMeter) {
    StartMeter();
    Open();
    Command()->setEditText("SPIR");
    Click(kIdSendCommand);
    EXPECT_EQ(Readout(), "3C 53 50 49 52 00 00 00 00 FF 3E 3E ");
    EXPECT_TRUE(LogHas("3C 53 50 49 52 00 00 00 00 FF 3E 3E"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ScriptedTerminalTest, ParametersBecomeBytesOrAreRefused) {
    UsePeer(Silent);
    Open();
    struct Case {
        const char* parameters;
        bool text;
        const char* readout;  // nullptr: refused with the message
        const char* message;
    };
    // clang-format off
    const Case cases[] = {
        {"00 AE F0",  false, "3C 53 45 54 45 4D 46 00 AE F0 3E 3E ", nullptr},
        {"00AEF0",    false, nullptr, "Parameter error, space needed in between."},
        {"7",         false, nullptr, "Parameter error!"},
        {"0A",        false, "3C 53 45 54 45 4D 46 0A 3E 3E ", nullptr},
        {"0A ",       false, "3C 53 45 54 45 4D 46 0A 3E 3E ", nullptr},
        {"  0a 1",    false, "3C 53 45 54 45 4D 46 0A 10 3E 3E ", nullptr},
        {"0G zz",     false, "3C 53 45 54 45 4D 46 00 00 3E 3E ", nullptr},
        {"00 AE,F0",  false, nullptr, "Parameter error, space needed in between."},
        {"",          false, "3C 53 45 54 45 4D 46 3E 3E ", nullptr},
        {"abc",       true,  "3C 53 45 54 45 4D 46 61 62 63 3E 3E ", nullptr},
        {"a c  ",     true,  "3C 53 45 54 45 4D 46 61 20 63 3E 3E ", nullptr},
        {"7",         true,  nullptr, "Parameter error!"},
    };
    // clang-format on
    QString lastReadout;
    size_t framesSent = 0;
    for (const Case& c : cases) {
        messages.clear();
        SetTextParameters(c.text);
        Send("SETEMF", c.parameters);
        if (c.readout) {
            EXPECT_EQ(Readout(), c.readout) << c.parameters;
            EXPECT_TRUE(messages.empty()) << c.parameters;
            ++framesSent;
            EXPECT_TRUE(WaitFor([&] { return Frames().size() == framesSent; })) << c.parameters;
            lastReadout = Readout();
        } else {
            EXPECT_EQ(messages, std::vector<std::string>{c.message}) << c.parameters;
            EXPECT_EQ(Readout(), lastReadout) << c.parameters;  // nothing new was framed
        }
    }
    // A last frame marks the end: everything sent before it has arrived by then.
    SetTextParameters(false);
    Send("KEY0", "");
    ASSERT_TRUE(WaitFor([&] { return Frames().size() == framesSent + 1; }));
    EXPECT_EQ(HexString(Frames().at(0)), "3C 53 45 54 45 4D 46 00 AE F0 3E 3E");
    EXPECT_EQ(HexString(Frames().at(framesSent - 1)), "3C 53 45 54 45 4D 46 61 20 63 3E 3E");
}

TEST_F(TerminalTest, GetverAfterSpiseKeepsItsParametersAndSendsThem) {
    StartMeter();
    Open();
    Command()->setEditText("SPISE");
    Command()->setCurrentIndex(Command()->findText("GETVER"));
    EXPECT_FALSE(Parameters()->isEnabled());
    EXPECT_EQ(Parameters()->text(), "00 00 00");
    Click(kIdSendCommand);
    EXPECT_EQ(Readout(), "3C 47 45 54 56 45 52 00 00 00 3E 3E ");
    EXPECT_TRUE(LogHas("3C 47 45 54 56 45 52 00 00 00 3E 3E"));
}

TEST_F(ScriptedTerminalTest, AOneCharacterCommandSendsAndShowsNothing) {
    UsePeer(Silent);
    Open();
    Send("KEY0", "");
    ASSERT_TRUE(WaitFor([&] { return Frames().size() == 1; }));
    for (const char* parameters : {"", "7", "00AE"}) {
        Send("K", parameters);
        EXPECT_EQ(Readout(), "3C 4B 45 59 30 3E 3E ") << parameters;
    }
    Send("", "");
    Send("KEY1", "");  // marks the end: whatever was sent before it has arrived by then
    ASSERT_TRUE(WaitFor([&] { return Frames().size() >= 2; }));
    ASSERT_EQ(Frames().size(), 2u);
    EXPECT_EQ(HexString(Frames().back()), "3C 4B 45 59 31 3E 3E");
    EXPECT_TRUE(messages.empty());
}

TEST_F(TerminalTest, KeyButtonsSendTheirKeyWithoutTheParameterRule) {
    StartMeter();
    Open();
    struct Case {
        int button;
        const char* command;
        const char* frame;
    };
    const Case cases[] = {
        {1197, "KEY0", "3C 4B 45 59 30 3E 3E"},
        {1198, "KEY1", "3C 4B 45 59 31 3E 3E"},
        {1200, "KEY2", "3C 4B 45 59 32 3E 3E"},
        {1199, "KEY3", "3C 4B 45 59 33 3E 3E"},
    };
    for (const Case& c : cases) {
        Click(c.button);
        EXPECT_EQ(Command()->currentText(), c.command);
        EXPECT_EQ(Readout(), QString(c.frame) + " ");
        EXPECT_TRUE(LogHas(c.frame)) << c.command;
    }
    // The box keeps whatever it holds, enabled, and its text goes along.
    Command()->setEditText("WCFG");
    Click(1197);
    EXPECT_TRUE(Parameters()->isEnabled());
    EXPECT_EQ(Parameters()->text(), "01 01");
    EXPECT_EQ(Readout(), "3C 4B 45 59 30 01 01 3E 3E ");
}

TEST_F(ScriptedTerminalTest, FramesOver32BytesAreRefusedAfterTheReadoutShows) {
    UsePeer(Silent);
    Open();
    SetTextParameters(true);
    QString readoutAtMessage;
    onMessage = [&](const std::string&) { readoutAtMessage = Readout(); };
    Send("SETEMF", QString(24, 'x'));  // 1 + 6 + 24 + 2 = 33 bytes
    const QString expected = "3C 53 45 54 45 4D 46 " + QString("78 ").repeated(24) + "3E 3E ";
    EXPECT_EQ(Readout(), expected);
    EXPECT_EQ(readoutAtMessage, expected);
    EXPECT_EQ(messages, std::vector<std::string>{"Data too long to send! (Maximum 32 bytes)"});
    Send("SETEMF", QString(23, 'x'));  // 32 bytes go
    ASSERT_TRUE(WaitFor([&] { return Frames().size() == 1; }));
    EXPECT_EQ(Frames().at(0).size(), 32u);
    EXPECT_EQ(messages.size(), 1u);
}

// The log with its time stamps made alike, for comparing.
std::string Unstamped(const QString& log) {
    static const std::regex stamp(R"(\d\d:\d\d:\d\d\.\d\d\d )");
    return std::regex_replace(log.toStdString(), stamp, "T ");
}

TEST_F(TerminalTest, RepliesAppearInBothPanesAndClearEmptiesThem) {
    StartMeter({"--model", "ZTX430", "--revision", "3.20"});
    Open();
    Send("GETVER", "");
    ASSERT_TRUE(WaitFor([&] { return PaneText(kIdTextPane).contains(" RX ZTX430R"); }))
        << PaneText(kIdTextPane).toStdString();
    EXPECT_EQ(Unstamped(PaneText(kIdTextPane)).rfind("T TX <GETVER>>\nT RX ZTX430R", 0), 0u);
    EXPECT_TRUE(PaneText(kIdHexPane).startsWith("5A 54 58 34 33 30 52 "));  // "ZTX430R"
    Click(kIdClearHex);
    EXPECT_EQ(PaneText(kIdHexPane), "");
    EXPECT_NE(PaneText(kIdTextPane), "");
    Click(kIdClearText);
    EXPECT_EQ(PaneText(kIdTextPane), "");
    Send("GETVER", "");
    ASSERT_TRUE(WaitFor([&] { return PaneText(kIdHexPane).startsWith("5A 54 58 34 33 30 52 "); }));
}

// Each reply and each line break in it begins a stamped line; a CR LF split across replies is
// one break; NUL and bytes past ASCII show as dots. The hexadecimal pane keeps every byte.
TEST_F(ScriptedTerminalTest, LogLinesAreStampedAndUnprintableBytesShowAsDots) {
    const std::vector<Bytes> replies = {
        {'S', 'N', '\r', '\n', 'A', 0x00, 'B', '\n', 'C', '\r'},
        {'\n', 'D', 0x80},  // completes the CR LF the first reply ended with
    };
    UsePeer([replies](const Bytes&, int index) { return ScriptedReply{replies[index % 2]}; });
    Open();
    Send("GETSERIAL", "");
    const std::string first = "T TX <GETSERIAL>>\nT RX SN\nT RX A.B\nT RX C\n";
    ASSERT_TRUE(WaitFor([&] { return Unstamped(PaneText(kIdTextPane)) == first; }))
        << Unstamped(PaneText(kIdTextPane));
    EXPECT_EQ(PaneText(kIdHexPane), "53 4E 0D 0A 41 00 42 0A 43 0D ");
    Send("GETSERIAL", "");
    const std::string both = first + "T TX <GETSERIAL>>\nT RX D.";
    ASSERT_TRUE(WaitFor([&] { return Unstamped(PaneText(kIdTextPane)) == both; }))
        << Unstamped(PaneText(kIdTextPane));
}

// Bytes the screen mirror left on the line are gone when the terminal opens.
TEST_F(ScriptedTerminalTest, OpensEmptyDroppingWhatCameBefore) {
    UsePeer([](const Bytes&, int) { return ScriptedReply{{'O', 'K'}}; });
    ASSERT_EQ(link.port.Open(kCom), 1);
    pty.Write(std::string("<LEFTOVER MIRROR BYTES>>"));
    ASSERT_TRUE(link.port.WaitForInput(kReplyTimeoutMs));
    Open();
    Send("GETVER", "");
    ASSERT_TRUE(WaitFor([&] { return PaneText(kIdHexPane) == "4F 4B "; }))
        << PaneText(kIdHexPane).toStdString();
    EXPECT_EQ(Unstamped(PaneText(kIdTextPane)), "T TX <GETVER>>\nT RX OK");
}

// Up and Down walk the commands sent, with their parameters; past the newest the boxes empty.
TEST_F(ScriptedTerminalTest, UpAndDownBringBackTheCommandsSent) {
    UsePeer(Silent);
    Open();
    Send("GETVER", "");
    Send("XYZW", "01 02");
    Send("XYZW", "01 02");  // a repeat is remembered once
    struct Step {
        Qt::Key key;
        const char* command;
        const char* parameters;
    };
    const Step steps[] = {{Qt::Key_Up, "XYZW", "01 02"}, {Qt::Key_Up, "GETVER", ""},
                          {Qt::Key_Up, "GETVER", ""},    {Qt::Key_Down, "XYZW", "01 02"},
                          {Qt::Key_Down, "", ""},        {Qt::Key_Down, "", ""}};
    for (const Step& step : steps) {
        QTest::keyClick(Command()->lineEdit(), step.key);
        EXPECT_EQ(Command()->currentText(), step.command);
        EXPECT_EQ(Parameters()->text(), step.parameters);
    }
}

// The log is written whole where the user says, or not at all with the reason.
TEST_F(ScriptedTerminalTest, SaveLogWritesThePaneOrSaysWhyNot) {
    UsePeer([](const Bytes&, int) { return ScriptedReply{{'O', 'K'}}; });
    Open();
    Send("GETVER", "");
    ASSERT_TRUE(WaitFor([&] { return PaneText(kIdTextPane).endsWith("RX OK"); }));
    const std::string missing = dir.File("no-such-folder") + "/log.txt";
    for (const std::string& path : {dir.File("log.txt"), missing}) {
        CFileLocalDlg::SetScript([&](const CFileLocalDlg&) { return path; });
        Click(kIdSaveLog);
        CFileLocalDlg::SetScript(nullptr);
    }
    std::ifstream saved(dir.File("log.txt"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}),
              PaneText(kIdTextPane).toStdString());
    EXPECT_EQ(messages, std::vector<std::string>{"The log could not be written to " + missing +
                                                 ": No such file or directory"});
}

// One reply far larger than a pane: everything arrives, and each pane starts over once it
// holds more than 262143 characters. Hexadecimal: 3 characters a byte, so it starts over at
// bytes 87382, 174764 and 262146; the log starts over by the same rule, batch by batch.
TEST_F(ScriptedTerminalTest, AFloodArrivesWholeAndThePanesStartOverPastHalfTheirLimit) {
    struct Case {
        const char* command;  // the scripted meter answers "<FLOODn>>" with n thousand bytes
        size_t bytes;
        size_t hexFrom;
    };
    const Case cases[] = {{"FLOOD200", 200000, 174764}, {"FLOOD300", 300000, 262146}};
    UsePeer([](const Bytes& frame, int) {
        const size_t size = 1000 * std::stoul(std::string(frame.begin() + 6, frame.end() - 2));
        Bytes flood(size);
        for (size_t i = 0; i < size; ++i)
            flood[i] = static_cast<uint8_t>('A' + i % 26);
        return ScriptedReply{flood};
    });
    Open();
    for (const Case& c : cases) {
        Click(kIdClearHex);
        Click(kIdClearText);
        std::string hex;
        char pair[4];
        for (size_t i = c.hexFrom; i < c.bytes; ++i) {
            std::snprintf(pair, sizeof pair, "%02X ", 'A' + static_cast<int>(i % 26));
            hex += pair;
        }
        Send(c.command, "");
        EXPECT_TRUE(WaitFor([&] { return Dialog().HexPaneContent().size() == hex.size(); }, 30000))
            << c.bytes << ": " << Dialog().HexPaneContent().size();
        SleepMs(100);
        QTest::qWait(100);  // nothing more comes
        EXPECT_EQ(Dialog().HexPaneContent(), hex) << c.bytes;
        EXPECT_EQ(PaneText(kIdHexPane).toStdString(), hex) << c.bytes;
        EXPECT_EQ(PaneText(kIdTextPane).toStdString(), Dialog().TextPaneContent()) << c.bytes;
        const char last = static_cast<char>('A' + (c.bytes - 1) % 26);
        EXPECT_EQ(Dialog().TextPaneContent().back(), last) << c.bytes;
    }
}

// --- Taking and giving back the link -------------------------------------------------------

TEST_F(TerminalTest, ScreenMirrorIsHeldOffWhileTheTerminalIsOpen) {
    StartMeter();
    link.DeviceConnected = true;
    struct Seen {
        bool open = false, portFree = true, stopPoll = false, heldByDialog = false,
             receiving = false;
    } seen;
    QTimer::singleShot(300, [&] {
        auto* terminal = qobject_cast<CTerminalDlg*>(QApplication::activeModalWidget());
        if (!terminal) return;
        seen = {true, link.PortFree(), link.StopScreenPoll, link.Holder() == PortHolder::Dialog,
                terminal->ReceiverRunning()};
        terminal->reject();
    });
    OpenTerminalCommand(nullptr, link, kSelectorIndex);
    EXPECT_TRUE(seen.open);
    EXPECT_FALSE(seen.portFree);
    EXPECT_TRUE(seen.stopPoll);
    EXPECT_TRUE(seen.heldByDialog);
    EXPECT_TRUE(seen.receiving);
    EXPECT_TRUE(link.PortFree());
    EXPECT_FALSE(link.StopScreenPoll);
    EXPECT_TRUE(link.port.IsOpen());  // the port stays open for the window
    EXPECT_TRUE(messages.empty());
}

TEST_F(TerminalTest, ComportErrorWhenNoMeterIsConnected) {
    StartMeter();
    bool opened = false;
    bool looked = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            opened = true;
            modal->close();
        }
        looked = true;
    });
    OpenTerminalCommand(nullptr, link, kSelectorIndex);
    EXPECT_EQ(messages, std::vector<std::string>{"Comport Error"});
    ASSERT_TRUE(WaitFor([&] { return looked; }));
    EXPECT_FALSE(opened);
    EXPECT_TRUE(link.PortFree());
    EXPECT_FALSE(link.StopScreenPoll);
    EXPECT_FALSE(link.port.IsOpen());
}

TEST_F(TerminalTest, ClosingStopsTheReceiverAndKeepsThePortOpen) {
    StartMeter();
    Open();
    EXPECT_TRUE(Dialog().ReceiverRunning());
    Dialog().reject();
    EXPECT_FALSE(Dialog().ReceiverRunning());
    EXPECT_TRUE(link.port.IsOpen());
}

TEST_F(TerminalTest, EnterInTheCommandOrParameterBoxClosesInsteadOfSending) {
    StartMeter();
    for (bool inCommandBox : {true, false}) {
        Open();
        Dialog().activateWindow();
        Command()->setEditText("GETVER");
        QWidget* box = inCommandBox ? static_cast<QWidget*>(Command()->lineEdit()) : Parameters();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_FALSE(Dialog().isVisible()) << inCommandBox;
        EXPECT_EQ(Dialog().result(), QDialog::Accepted) << inCommandBox;
        EXPECT_EQ(Readout(), "") << inCommandBox;
        EXPECT_FALSE(Dialog().ReceiverRunning());
    }
    const Bytes marker = BuildFrame("KEY0");  // whatever was sent before it has arrived by then
    link.port.Send(marker.data(), static_cast<int>(marker.size()));
    ASSERT_TRUE(WaitFor([&] { return !ReadLogLines(log).empty(); }));
    EXPECT_EQ(ReadLogLines(log), std::vector<std::string>{"3C 4B 45 59 30 3E 3E"});
}

TEST_F(TerminalTest, ReconnectRestartsTheReceiver) {
    StartMeter({"--model", "TKL"});
    Open();
    ASSERT_TRUE(Dialog().ReceiverRunning());
    Click(kIdReconnect);
    EXPECT_TRUE(Dialog().ReceiverRunning());
    EXPECT_EQ(Caption(Dialog().Control(kIdPortInfo)), "COM1,115200,n,8,1");
    Send("GETVER", "");
    EXPECT_TRUE(WaitFor([&] { return PaneText(kIdTextPane).contains(" RX TKL"); }));
    EXPECT_TRUE(messages.empty());
}

TEST_F(TerminalTest, ReconnectToAVanishedPortSaysSoAndLeavesNoReceiver) {
    StartMeter();
    Open();
    link.port.Ports().Map(kCom, "");  // the adapter is gone
    Click(kIdReconnect);
    EXPECT_EQ(messages, std::vector<std::string>{"Comport open error"});
    EXPECT_FALSE(Dialog().ReceiverRunning());
    EXPECT_FALSE(link.port.IsOpen());
    Send("GETVER", "");  // framed and shown, but nothing can leave
    EXPECT_EQ(Readout(), "3C 47 45 54 56 45 52 3E 3E ");
}

TEST_F(TerminalTest, APortThatWillNotOpenShowsTheErrorAndTheDash) {
    Open();  // nothing mapped to COM1
    EXPECT_EQ(messages, std::vector<std::string>{"Comport open error"});
    EXPECT_FALSE(Dialog().ReceiverRunning());
    EXPECT_EQ(Caption(Dialog().Control(kIdPortInfo)), "-");
}

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
           usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
}

// The receiver sleeps on the port: neither a quiet line nor a vanished meter makes it spin.
TEST_F(TerminalTest, ReceiverSleepsOnAQuietOrVanishedLine) {
    StartMeter();
    Open();
    for (const char* line : {"quiet", "hung up"}) {
        if (std::string(line) == "hung up") StopMeter();
        SleepMs(100);
        const double cpuBefore = ProcessCpuMs();
        Stopwatch wall;
        SleepMs(1000);  // the user-interface thread sleeps too: only the receiver runs
        const double share = (ProcessCpuMs() - cpuBefore) / wall.ElapsedMs();
        EXPECT_LT(share, 0.1) << line;
        EXPECT_TRUE(Dialog().ReceiverRunning()) << line;
    }
}

}  // namespace
