// SPDX-License-Identifier: GPL-3.0-or-later
// Connect All and Disconnect All against simulated accessories on pseudo-terminals.
#include "ComPort.h"
#include "DewController.h"
#include "Focuser.h"
#include "FormsFixture.h"
#include "MainForm.h"
#include "Panels.h"
#include "PortList.h"
#include "Probe.h"
#include "QLOForm.h"
#include "QtTestSupport.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "SimPanels.h"
#include "TestPty.h"
#include "ThreadedTimer.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
QString Port(const TSimDevice& device) {
    return QString::fromStdString(device.Port());
}
} // namespace

class DiscoveryTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        previous_ = SetPortSource([this] { return FolderPorts(folder_.path()); });
    }
    void TearDown() override {
        if (FormMain->QLO->Connected() || FormMain->BRS->Connected() ||
            FormMain->PrimaryPanels->Connected() || FormMain->QLO2->Connected())
            ClickLoadDevices();
        FormsTest::TearDown();
        SetPortSource(previous_);
    }
    // Announces a device under a name that decides its place in the port list.
    QString Plug(const QString& name, const TSimDevice& device) {
        const QString link = folder_.filePath(name);
        QFile::link(Port(device), link);
        return link;
    }
    QStringList DebugTexts() const { return Texts(FormMain->memoDebugLogs); }

    QTemporaryDir folder_;
    PortSource previous_;
};

TEST_F(DiscoveryTest, NoPortsLeavesEverythingIdle) {
    ClickLoadDevices();
    EXPECT_EQ(DebugTexts().last(), "Detecting devices...");
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
    EXPECT_EQ(FormMain->Tracking.ThreadedTimerQLO(), nullptr);
}

TEST_F(DiscoveryTest, FocusersTakeTheLinksInPortOrderAndAThirdReplacesTheSecond) {
    TSimFocuser first, second, third;
    const QString a = Plug("a-focuser", first), b = Plug("b-focuser", second);
    FormMain->CheckBoxTrackAll->setChecked(false);
    ClickLoadDevices();

    EXPECT_EQ(FormMain->QLO->Link().Port(), a);
    EXPECT_TRUE(FormMain->QLO->Connected());
    EXPECT_EQ(FormMain->QLO2->Link().Port(), b);
    EXPECT_TRUE(FormMain->QLO2->Connected());
    EXPECT_EQ(FormMain->LabelPortStatusQLO->text(), "connected " + a);
    EXPECT_EQ(FormMain->LabelPortStatusQLO2->text(), "connected " + b);
    EXPECT_TRUE(FormQLO->RadioButtonFocuser2->isEnabled());
    // Offered once greeted and polled.
    EXPECT_TRUE(WaitFor([] { return FormMain->ButtonDetailsQLO->isEnabled(); }, 5000));
    EXPECT_TRUE(FormMain->ButtonQLOWS->isEnabled());
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Disconnect All");
    EXPECT_EQ(FormMain->Tracking.ThreadedTimerQLO(), nullptr); // "Track all" was unchecked
    // Manual mode at connection, then the one immediate poll: temperatures first after start.
    ASSERT_TRUE(first.WaitForCommand("FTMPRO", 2s));
    EXPECT_EQ(first.Commands(), (std::vector<std::string>{"SWHOIS", "FMMODE", "FTMPRO"}));
    ASSERT_TRUE(second.WaitForCommand("FTMPRO", 2s));
    EXPECT_TRUE(DebugTexts().contains("   QLO Detected on " + b));

    // A third focuser found later takes focuser 2's link; the second is no longer connected.
    Await(FormMain->DeviceWho(Port(third)));
    EXPECT_EQ(FormMain->QLO2->Link().Port(), Port(third));
    EXPECT_TRUE(FormMain->QLO2->Connected());
    EXPECT_EQ(FormMain->QLO->Link().Port(), a);
}

TEST_F(DiscoveryTest, AwkwardPortsAreSurvived) {
    TFocuserOptions older;
    older.answersWhoIs = false;
    TSimFocuser busy, old(older), after;
    TSimSilent silent;
    TComPort holder; // another program holds this port
    holder.SetPort(Plug("a-busy", busy));
    holder.Open();
    const QString oldPort = Plug("b-old", old);
    Plug("c-silent", silent);
    const QString afterPort = Plug("d-after", after);
    FormMain->CheckBoxTrackAll->setChecked(false);

    QElapsedTimer clock;
    clock.start();
    ClickLoadDevices();
    const qint64 ms = clock.elapsed();

    const QStringList texts = DebugTexts();
    const auto openError = std::find_if(texts.begin(), texts.end(), [](const QString& t) {
        return t.startsWith("Erreur ouverture ComPort :Unable to open com port (Error: ");
    });
    EXPECT_NE(openError, texts.end());
    // The focuser answering only FMMODE connects, and discovery goes on past the silent port.
    EXPECT_EQ(FormMain->QLO->Link().Port(), oldPort);
    EXPECT_TRUE(FormMain->QLO->Connected());
    EXPECT_EQ(FormMain->QLO2->Link().Port(), afterPort);
    EXPECT_TRUE(FormMain->QLO2->Connected());
    EXPECT_EQ(silent.Commands(), (std::vector<std::string>{"SWHOIS", "FMMODE"}));
    // The ports are probed side by side: the silent port's 6 s cover the FMMODE-only focuser's
    // 3 s.
    EXPECT_GT(ms, 5500);
    EXPECT_LT(ms, 60000); // bounded, with room for a loaded machine
}

// Every port is probed at once while the window goes on answering; what the probes found is
// taken in port order, as one probe after the other would have taken it.
TEST_F(DiscoveryTest, PortsAreSearchedSideBySideWhileTheWindowAnswers) {
    TSimSilent s1, s2, s3;
    TSimFocuser first, second;
    TSimDewController dew;
    Plug("a-silent", s1);
    const QString a = Plug("b-focuser", first);
    Plug("c-silent", s2);
    Plug("d-dew", dew);
    Plug("e-silent", s3);
    const QString b = Plug("f-focuser", second);
    int ticks = 0;
    QStringList captions;
    QTimer clock;
    QObject::connect(&clock, &QTimer::timeout, [&] {
        ++ticks;
        if (!captions.contains(FormMain->ButtonLoadDevices->text()))
            captions << FormMain->ButtonLoadDevices->text();
    });
    clock.start(50);
    FormMain->ButtonLoadDevicesClick();
    EXPECT_TRUE(FormMain->Searching());
    ASSERT_TRUE(Settle());
    clock.stop();
    // Three silent ports cost one silent port's six seconds, during which the loop ran on.
    EXPECT_GT(ticks, 40);
    EXPECT_TRUE(captions.contains("Stop search 0/6"));
    EXPECT_EQ(FormMain->QLO->Link().Port(), a);
    EXPECT_EQ(FormMain->QLO2->Link().Port(), b);
    EXPECT_TRUE(FormMain->BRS->Connected());
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Disconnect All");
    for (const TSimSilent* silent : {&s1, &s2, &s3})
        EXPECT_EQ(silent->Commands(), (std::vector<std::string>{"SWHOIS", "FMMODE"}));
    // The debug log reads port by port, as it always has.
    const QStringList texts = DebugTexts();
    EXPECT_EQ(texts.indexOf(a) + 1, texts.indexOf("   QLO Detected on " + a));
}

TEST_F(DiscoveryTest, TheButtonStopsTheSearchAndClosesWhatItOpened) {
    TSimFocuser focuser;
    TSimSilent silent;
    Plug("a-focuser", focuser);
    Plug("b-silent", silent);
    FormMain->ButtonLoadDevicesClick();
    ASSERT_TRUE(WaitFor([] { return FormMain->QLO->Connected(); }, 10000));
    ASSERT_TRUE(FormMain->Searching());
    FormMain->ButtonLoadDevicesClick();
    EXPECT_FALSE(FormMain->Searching());
    EXPECT_FALSE(FormMain->QLO->Connected());
    EXPECT_FALSE(FormMain->ProbePortOpen());
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
    EXPECT_TRUE(DebugTexts().contains("Search stopped"));
    EXPECT_EQ(FormMain->Tracking.ThreadedTimerQLO(), nullptr);
    // A new search finds the focuser again.
    ClickLoadDevices();
    EXPECT_TRUE(FormMain->QLO->Connected());
}

TEST_F(DiscoveryTest, DewControllerFirmwareIsReadFromItsIdentification) {
    TDewOptions options;
    options.firmware = 12;
    TSimDewController dew(options);
    Plug("dew", dew);
    FormMain->CheckBoxTrackAll->setChecked(false);
    ClickLoadDevices();
    EXPECT_EQ(FormMain->BRS->FirmwareVersion, 12);
    EXPECT_TRUE(DebugTexts().contains("   BRS version extracted 12"));
    EXPECT_TRUE(FormMain->BRS->Connected());
    EXPECT_TRUE(WaitFor([] { return FormMain->ButtonDetailsBRS->isEnabled(); }, 5000));
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Disconnect All");
    EXPECT_TRUE(dew.WaitForCommand("SGETAL", 2s));
}

TEST_F(DiscoveryTest, DewControllerWithoutVersionStillConnects) {
    TSimSilent dew; // answers the probe with an identification that has no parentheses
    dew.SendRaw("BRS dew heater\r");
    Plug("dew", dew);
    FormMain->BRS->FirmwareVersion = 7;
    FormMain->CheckBoxTrackAll->setChecked(false);
    ClickLoadDevices();
    EXPECT_TRUE(DebugTexts().contains(
        "Erreur récupération version firmware :'' n'est pas une valeur entière correcte"));
    EXPECT_EQ(FormMain->BRS->FirmwareVersion, 7);
    EXPECT_TRUE(FormMain->BRS->Connected());
}

TEST_F(DiscoveryTest, PanelsAloneKeepConnectAllAndTheNextClickDisconnects) {
    TSimPanels panels;
    Plug("panels", panels);
    ClickLoadDevices();
    EXPECT_TRUE(FormMain->PrimaryPanels->Connected());
    EXPECT_TRUE(FormMain->ButtonDetailsPanels->isEnabled());
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
    ClickLoadDevices();
    EXPECT_FALSE(FormMain->PrimaryPanels->Connected());
    EXPECT_EQ(DebugTexts().last(), "Close Panels Port");
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
    EXPECT_EQ(panels.Commands(), (std::vector<std::string>{"SWHOIS"})); // nothing after the probe
}

TEST_F(DiscoveryTest, DisconnectAllStopsTrackingThenLeavesFocusersInManualMode) {
    TSimFocuser one, two;
    TSimDewController dew;
    Plug("a", one);
    Plug("b", two);
    Plug("c", dew);
    ClickLoadDevices();
    ASSERT_NE(FormMain->Tracking.ThreadedTimerQLO(), nullptr);
    ASSERT_NE(FormMain->Tracking.ThreadedTimerBRS(), nullptr);
    EXPECT_TRUE(FormMain->QLO->AskPosition);
    QStringList notifs = Texts(FormMain->MemoAdminMsgs);
    EXPECT_TRUE(notifs.contains("Start tracking Quillo.."));
    EXPECT_TRUE(notifs.contains("Start tracking Brisella.."));
    // The first tick asks for the position (ticks need the event loop running).
    EXPECT_TRUE(
        WaitFor([&] { return one.CommandCount() >= 4 && one.Commands()[3] == "FPOSRO"; }, 3000));

    bool stoppedBeforeClose = false;
    QObject::connect(FormMain->QLO, &TDevice::Closed, [&] {
        stoppedBeforeClose = Texts(FormMain->MemoAdminMsgs).contains("Stopped tracking Quillo");
    });
    ClickLoadDevices();
    EXPECT_TRUE(stoppedBeforeClose);
    EXPECT_EQ(FormMain->Tracking.ThreadedTimerQLO(), nullptr);
    EXPECT_EQ(FormMain->Tracking.ThreadedTimerBRS(), nullptr);
    notifs = Texts(FormMain->MemoAdminMsgs);
    EXPECT_TRUE(notifs.contains("Stopped tracking Brisella"));
    EXPECT_FALSE(FormMain->ProbePortOpen());
    for (TComPort* link : {&FormMain->QLO->Link(), &FormMain->QLO2->Link(), &FormMain->BRS->Link(),
                           &FormMain->PrimaryPanels->Link()})
        EXPECT_FALSE(link->Connected()) << link->objectName().toStdString();
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
    // Each focuser's last command before its link closed was FMMODE.
    for (TSimFocuser* focuser : {&one, &two}) {
        ASSERT_TRUE(focuser->WaitForCommand("FMMODE", 5s, 2)); // after the greeting's
        Pump(100);
        EXPECT_EQ(focuser->Commands().back(), "FMMODE");
    }
    EXPECT_EQ(dew.Commands().back(), "SGETAL"); // nothing is written to the dew controller on close
}

TEST_F(DiscoveryTest, RepeatedConnectAndDisconnectLeakNothing) {
    TSimFocuser one, two;
    TSimDewController dew;
    TSimPanels panels;
    Plug("a", one);
    Plug("b", two);
    Plug("c", dew);
    Plug("d", panels);
    // One round first, so that lazily made resources (fonts, event dispatcher) exist.
    ClickLoadDevices();
    ClickLoadDevices();
    Pump(50);
    const int fds = OpenFdCount(), threads = ThreadCount();
    for (int round = 0; round < 25; ++round) {
        ClickLoadDevices();
        ASSERT_TRUE(FormMain->QLO2->Connected());
        Pump(round % 5 == 0 ? 1100 : 20); // now and then let ticks and replies flow
        ClickLoadDevices();
        ASSERT_FALSE(FormMain->QLO->Connected());
    }
    // The simulators' threads open a few descriptors of their own now and then (they look at
    // /proc): wait for the count to come back rather than catch one of those.
    EXPECT_TRUE(WaitFor([&] { return OpenFdCount() == fds; }, 5000)) << OpenFdCount() << " " << fds;
    EXPECT_EQ(ThreadCount(), threads);
}

TEST(PortList, OnlyTtysWithHardwareBehindThemAreListed) {
    struct Tty {
        const char* name;
        bool device;      // has a device link
        const char* type; // sysfs type of a UART slot, nullptr for none
        bool listed;
    };
    // The /dev nodes of the UART slots below do not exist here: what decides is the sysfs type,
    // and only without one the failed open.
    const Tty ttys[] = {
        {"ttyUSB0", true, nullptr, true},  // USB-serial adapter
        {"ttyACM1", true, nullptr, true},  // USB CDC device
        {"tty0", false, nullptr, false},   // virtual console, no hardware
        {"ttyAMA0", true, nullptr, false}, // carries the system console
        {"ttyS90", true, "0\n", false},    // empty UART slot (PORT_UNKNOWN)
        {"ttyS91", true, "4\n", true},     // a 16550A that this user may not open
        {"ttyS92", true, "4\n", false},    // a real UART carrying the system console
        {"ttyS93", true, nullptr, false},  // no type published and nothing to open
    };
    QTemporaryDir root;
    const QString tty = root.filePath("sys/class/tty");
    QStringList expected;
    for (const Tty& t : ttys) {
        const QString dir = tty + "/" + t.name;
        QDir().mkpath(dir);
        if (t.device) QFile::link(root.path(), dir + "/device");
        if (t.type) {
            QFile type(dir + "/type");
            ASSERT_TRUE(type.open(QIODevice::WriteOnly));
            type.write(t.type);
        }
        if (t.listed) expected << QStringLiteral("/dev/") + t.name;
    }
    QDir().mkpath(root.filePath("proc"));
    QFile consoles(root.filePath("proc/consoles"));
    ASSERT_TRUE(consoles.open(QIODevice::WriteOnly));
    consoles.write(
        "ttyAMA0              -W- (EC  p a)    4:64\nttyS92               -W- (E  p a)    4:66\n");
    consoles.close();
    EXPECT_EQ(SortPortNames(HardwarePorts(root.path())), SortPortNames(expected));
    EXPECT_EQ(SortPortNames({"COM2", "com10", "COM1"}), QStringList({"COM1", "com10", "COM2"}));
}

TEST(PortList, AFolderEntryStandsForTheTtyItLeadsTo) {
    QTemporaryDir root;
    const QString tty = root.filePath("ttyUSB0"), folder = root.filePath("ports");
    QFile node(tty);
    ASSERT_TRUE(node.open(QIODevice::WriteOnly));
    QDir().mkpath(folder);
    QFile::link(tty, folder + "/focuser1");
    QFile::link(root.filePath("gone"), folder + "/dangling");
    EXPECT_EQ(MergePorts({tty, "/dev/ttyACM0"}, FolderPorts(folder)),
              QStringList({folder + "/dangling", folder + "/focuser1", "/dev/ttyACM0"}));
}

// Root opens any port, so this runs as an unprivileged user (see CMakeLists.txt); as root it
// says it could not check.
TEST_F(DiscoveryTest, APortClosedToThisUserIsNamedInTheNotifications) {
    TestPty locked;
    ASSERT_EQ(::chmod(locked.Path().toLocal8Bit().constData(), 0), 0);
    if (::access(locked.Path().toLocal8Bit().constData(), R_OK | W_OK) == 0)
        GTEST_SKIP() << "this user opens any port (root): run unprivileged to check";
    SetPortSource([&] { return QStringList{locked.Path()}; });
    ClickLoadDevices();
    EXPECT_TRUE(Texts(FormMain->MemoAdminMsgs).contains(NoAccessNotice(locked.Path())));
    EXPECT_TRUE(Texts(FormMain->memoDebugLogs)
                    .contains("Erreur ouverture ComPort :Unable to open com port (Error: 13)"));
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
}
