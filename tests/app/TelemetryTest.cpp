// SPDX-License-Identifier: GPL-3.0-or-later
// The telemetry path through the real main window: polls on the timers, replies over real
// links, the display refresh with its sliders, and the history charts.
#include "ChartCsv.h"
#include "ComPort.h"
#include "Convert.h"
#include "DewController.h"
#include "Focuser.h"
#include "FormsFixture.h"
#include "HistoryChart.h"
#include "MainForm.h"
#include "PortList.h"
#include "QtTestSupport.h"
#include "SimDew.h"
#include "SimFocuser.h"
#include "TestPty.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <iostream>
#include <set>

namespace {

QStringList DebugTexts() {
    return Texts(FormMain->memoDebugLogs);
}

bool DebugHas(const QString& text) {
    return DebugTexts().contains(text);
}

qsizetype DebugCount(const QString& prefix) {
    const QStringList texts = DebugTexts();
    return std::count_if(texts.begin(), texts.end(),
                         [&](const QString& t) { return t.startsWith(prefix); });
}

// The number shown by a value label ("21.5 °C", "65.2 %").
double LabelNumber(const QLabel* label) {
    return label->text().section(QChar(' '), 0, 0).toDouble();
}

struct Poll {
    std::string command;
    double at; // seconds
};

// The complete commands of a device that are among `names`, with their arrival times.
std::vector<Poll> PollsOf(const TSimDevice& device, const std::set<std::string>& names) {
    std::vector<Poll> polls;
    for (const TReceived& r : device.Received())
        if (r.complete && names.count(r.text))
            polls.push_back(
                {r.text, std::chrono::duration<double>(r.at.time_since_epoch()).count()});
    return polls;
}

const std::set<std::string> kFocuserPolls{"FPOSRO", "FTMPRO"};
const std::set<std::string> kDewPolls{"SGETAL"};

qsizetype Count(const THistoryChart* chart, int series) {
    return chart->PointCount(series);
}

// Sizes of the six series: ChartQLO 0 and 1, then ChartBRS 0 to 3.
std::vector<qsizetype> Counts() {
    return {Count(FormMain->ChartQLO, 0), Count(FormMain->ChartQLO, 1),
            Count(FormMain->ChartBRS, 0), Count(FormMain->ChartBRS, 1),
            Count(FormMain->ChartBRS, 2), Count(FormMain->ChartBRS, 3)};
}

double LastValue(const THistoryChart* chart, int series) {
    return chart->PointValue(series, chart->PointCount(series) - 1);
}

QRgb LastColor(const THistoryChart* chart, int series) {
    return chart->PointColor(series, chart->PointCount(series) - 1);
}

// A frame without calibration offsets and in manual mode: the sliders send nothing.
const QByteArray kQuietFrame = "##20/21/19/50/10/0/0/0/0/0/0/3/3/0/0/2**";

} // namespace

// ---- Tracking against simulated accessories ----

class TrackingTest : public FormsTest {
  protected:
    void SetUp() override {
        FormsTest::SetUp();
        previous_ = SetPortSource([this] { return FolderPorts(folder_.path()); });
    }
    void TearDown() override {
        if (FormMain->QLO->Connected() || FormMain->QLO2->Connected() || FormMain->BRS->Connected())
            ClickLoadDevices();
        FormsTest::TearDown();
        SetPortSource(previous_);
    }
    void Plug(const QString& name, const TSimDevice& device) {
        QFile::link(QString::fromStdString(device.Port()), folder_.filePath(name));
    }

    QTemporaryDir folder_;
    PortSource previous_;
};

// A desktop with a decimal comma reads the devices' numbers, which carry a point, and shows
// them with its comma (run by CTest under LC_ALL=fr_FR.UTF-8).
TEST_F(TrackingTest, ADecimalCommaDesktopReadsTheDevicesNumbers) {
    if (DecimalSeparator() != QChar(',')) GTEST_SKIP() << "runs under LC_ALL=fr_FR.UTF-8";
    TFocuserOptions o;
    o.temperature = 7.25;
    o.driftPerSecond = 0;
    TDewOptions d;
    d.timeScale = 0;
    d.ambient = 14.25;
    d.humidity = 62.5;
    TSimFocuser focuser(o);
    TSimDewController dew(d);
    Plug("a-focuser", focuser);
    Plug("b-dew", dew);
    ClickLoadDevices();
    ASSERT_TRUE(WaitFor(
        [] {
            return FormMain->LabelQLOTempValue->text().contains("7,25") &&
                   FormMain->LabelBRSAmbTempValue->text().contains("14,25");
        },
        9000))
        << FormMain->LabelQLOTempValue->text().toStdString() << " / "
        << FormMain->LabelBRSAmbTempValue->text().toStdString();
    EXPECT_TRUE(FormMain->LabelBRSHumidityValue->text().contains("62,5"));
    EXPECT_FALSE(DebugTexts().join('\n').contains("virgule flottante"));
}

TEST_F(TrackingTest, TrackAllPollsOnTheTimersAndTheLabelsFollowTheDevices) {
    ASSERT_EQ(DecimalSeparator(), QChar('.'));
    TFocuserOptions o1, o2;
    o1.position = 12345;
    o1.temperature = 7.5;
    o1.driftPerSecond = 0;
    o2.position = 23456;
    o2.temperature = -3.25;
    o2.driftPerSecond = 0;
    TDewOptions d;
    d.timeScale = 0; // readings stand still
    d.ambient = 14.25;
    d.humidity = 62.5;
    d.settings.calibration = {1, 2, 0};
    TSimFocuser one(o1), two(o2);
    TSimDewController dew(d);
    Plug("a-focuser", one);
    Plug("b-focuser", two);
    Plug("c-dew", dew);
    FormMain->CheckBoxTrackAll->setChecked(true);
    ClickLoadDevices();
    ASSERT_TRUE(FormMain->QLO2->Connected());
    ASSERT_TRUE(FormMain->BRS->Connected());

    // Ticks reach the GUI thread only while the event loop runs.
    ASSERT_TRUE(WaitFor(
        [&] {
            return PollsOf(one, kFocuserPolls).size() >= 5 &&
                   PollsOf(two, kFocuserPolls).size() >= 5 && PollsOf(dew, kDewPolls).size() >= 3;
        },
        9000));
    Pump(200); // let the last replies in

    // The immediate poll asks for the temperature (flags false at the first connection), the
    // ticks then alternate starting with the position, about one second apart.
    for (const TSimFocuser* focuser : {&one, &two}) {
        const std::vector<Poll> polls = PollsOf(*focuser, kFocuserPolls);
        for (std::size_t i = 0; i < polls.size(); ++i) {
            EXPECT_EQ(polls[i].command, i % 2 == 0 ? "FTMPRO" : "FPOSRO") << i;
            if (i > 0) {
                const double gap = polls[i].at - polls[i - 1].at;
                EXPECT_GT(gap, 0.7) << i; // never faster than the interval; later under load
            }
        }
    }
    const std::vector<Poll> frames = PollsOf(dew, kDewPolls);
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const double gap = frames[i].at - frames[i - 1].at;
        EXPECT_GT(gap, 1.5) << i;
    }
    // One "QLO Tx" and one "QLO2 Tx" line per tick, in that order.
    QStringList tx;
    for (const QString& t : DebugTexts())
        if (t.startsWith("QLO Tx: ") || t.startsWith("QLO2 Tx: ")) tx << t.section(':', 0, 0);
    ASSERT_GE(tx.size(), 10);
    for (qsizetype i = 0; i < tx.size(); ++i)
        EXPECT_EQ(tx[i], i % 2 ? "QLO2 Tx" : "QLO Tx") << i;

    EXPECT_EQ(FormMain->LabelQLOPositionValue->text(), QString::number(one.Position()));
    EXPECT_EQ(FormMain->LabelQLO2PositionValue->text(), QString::number(two.Position()));
    EXPECT_NEAR(LabelNumber(FormMain->LabelQLOTempValue), one.Temperature(), 0.006);
    EXPECT_NEAR(LabelNumber(FormMain->LabelQLO2TempValue), two.Temperature(), 0.006);
    EXPECT_TRUE(FormMain->LabelQLOTempValue->text().endsWith(" °C"));

    const TDewReadings r = dew.Readings();
    EXPECT_NEAR(LabelNumber(FormMain->LabelBRSLocTemp1Value), r.probe[0] + 1, 0.006);
    EXPECT_NEAR(LabelNumber(FormMain->LabelBRSLocTemp2Value), r.probe[1] + 2, 0.006);
    EXPECT_NEAR(LabelNumber(FormMain->LabelBRSAmbTempValue), r.ambient, 0.006);
    EXPECT_NEAR(LabelNumber(FormMain->LabelBRSHumidityValue), r.humidity, 0.06);
    EXPECT_NEAR(LabelNumber(FormMain->LabelBRSDewpointValue), r.dewPoint, 0.006);
    EXPECT_EQ(FormMain->LabelBRSOut1Value->text(), "0 %");
    EXPECT_TRUE(FormMain->LabelBRSHumidityValue->text().endsWith(" %"));

    // Once every device has read, each refresh adds one point to each of the six series.
    const std::vector<qsizetype> before = Counts();
    EXPECT_GT(before[0], 2);
    EXPECT_NEAR(LastValue(FormMain->ChartBRS, 2), r.dewPoint, 0.006);
    ASSERT_TRUE(WaitFor([&] { return Count(FormMain->ChartQLO, 0) >= before[0] + 3; }, 5000));
    const std::vector<qsizetype> after = Counts();
    for (std::size_t s = 0; s < after.size(); ++s)
        EXPECT_EQ(after[s] - before[s], after[0] - before[0]) << s;

    // The labels follow the devices.
    one.SetTemperature(9.87);
    two.SetPosition(34567);
    dew.SetAmbient(20.5);
    EXPECT_TRUE(WaitFor(
        [] {
            return FormMain->LabelQLOTempValue->text() == "9.87 °C" &&
                   FormMain->LabelQLO2PositionValue->text() == "34567" &&
                   FormMain->LabelBRSAmbTempValue->text() == "20.5 °C";
        },
        4000))
        << FormMain->LabelQLOTempValue->text().toStdString() << " "
        << FormMain->LabelQLO2PositionValue->text().toStdString() << " "
        << FormMain->LabelBRSAmbTempValue->text().toStdString();
    EXPECT_EQ(FormMain->QLO->Temp, 9.87);
    EXPECT_EQ(FormMain->QLO2->Position, 34567);
}

// A pulled cable mid-tracking: shown in its panel and once in the notifications, no error box,
// no CPU spent on the dead line, the other devices still polled; after Disconnect All the next
// Connect All finds the device again at its old place.
TEST_F(TrackingTest, AFocuserUnpluggedWhileTrackingIsShownAndFoundAgain) {
    ErrorRecorder errors;
    auto one = std::make_unique<TSimFocuser>();
    TSimDewController dew;
    Plug("a-focuser", *one);
    Plug("c-dew", dew);
    ClickLoadDevices();
    ASSERT_TRUE(FormMain->QLO->Connected() && FormMain->BRS->Connected());
    const QString port = FormMain->QLO->Link().Port();
    ASSERT_TRUE(WaitFor([&] { return one->CommandCount() >= 3; }, 5000));

    one->Unplug();
    ASSERT_TRUE(WaitFor(
        [] { return FormMain->LabelPortStatusQLO->text().startsWith("connection lost"); }, 5000));
    EXPECT_EQ(FormMain->LabelPortStatusQLO->text(), "connection lost " + port);
    const std::size_t frames = dew.CommandCount();
    const double cpu = ProcessCpuSeconds();
    Pump(3000);
    const double spent = ProcessCpuSeconds() - cpu;
    std::cout << "[ figures  ] " << spent << " s of CPU in 3 s with a dead line" << std::endl;
    EXPECT_LT(spent, 1.0) << "the dead line is spun on";
    EXPECT_GT(dew.CommandCount(), frames) << "the dew controller is no longer polled";
    const QStringList notifs = Texts(FormMain->MemoAdminMsgs);
    EXPECT_EQ(notifs.filter("Connection lost").size(), 1);
    EXPECT_TRUE(notifs.contains("Connection lost: Quillo 1 on " + port));
    EXPECT_TRUE(errors.messages.isEmpty());

    ClickLoadDevices();
    EXPECT_FALSE(FormMain->QLO->Connected());
    EXPECT_FALSE(FormMain->BRS->Connected());
    EXPECT_EQ(FormMain->LabelPortStatusQLO->text(), "Disconnected");

    one = std::make_unique<TSimFocuser>(); // plugged back in
    QFile::remove(folder_.filePath("a-focuser"));
    Plug("a-focuser", *one);
    ClickLoadDevices();
    EXPECT_TRUE(FormMain->QLO->Connected());
    EXPECT_EQ(FormMain->LabelPortStatusQLO->text(), "connected " + port);
}

// A replugged device comes back by itself on its port, identified again and greeted; nothing
// else is probed and the charts keep their points. Another kind of device there is not taken.
TEST_F(TrackingTest, AReplugComesBackByItselfAndAnotherKindIsNotTaken) {
    TSimFocuser one, two;
    TSimDewController dew, stranger;
    Plug("a-focuser", one);
    Plug("b-focuser", two);
    Plug("c-dew", dew);
    ClickLoadDevices();
    const QString port = FormMain->QLO->Link().Port();
    ASSERT_TRUE(WaitFor([&] { return one.CommandCount() >= 3; }, 5000));
    auto replug = [&](const TSimDevice& device) {
        QFile::remove(port);
        QFile::link(QString::fromStdString(device.Port()), port);
    };
    auto notified = [](const QString& line) {
        return WaitFor([&] { return Texts(FormMain->MemoAdminMsgs).contains(line); }, 20000);
    };

    // Unplugged as the simulator program does it: the device's link goes with it, so that no
    // other pseudo-terminal taking its old number stands behind the name meanwhile.
    one.Unplug();
    QFile::remove(port);
    ASSERT_TRUE(notified("Connection lost: Quillo 1 on " + port));
    Pump(1500); // the cable stays out a little
    const qsizetype points = FormMain->ChartBRS->PointCount(0);
    one.ClearReceived();
    two.ClearReceived();
    dew.ClearReceived();
    one.Plug();
    replug(one);
    ASSERT_TRUE(notified("Reconnected: Quillo 1 on " + port));
    EXPECT_EQ(FormMain->LabelPortStatusQLO->text(), "connected " + port);
    EXPECT_TRUE(WaitFor([&] { return PollsOf(one, kFocuserPolls).size() >= 2; }, 5000));
    const std::vector<std::string> seen = one.Commands();
    EXPECT_EQ(
        std::vector<std::string>(seen.begin(), seen.begin() + 3),
        (std::vector<std::string>{"SWHOIS", "FMMODE", PollsOf(one, kFocuserPolls)[0].command}));
    for (const TSimDevice* other : std::initializer_list<const TSimDevice*>{&two, &dew})
        for (const std::string& command : other->Commands())
            EXPECT_NE(command, "SWHOIS");
    EXPECT_GE(FormMain->ChartBRS->PointCount(0), points); // not cleared

    one.Unplug();
    QFile::remove(port);
    ASSERT_TRUE(WaitFor(
        [&] {
            return Texts(FormMain->MemoAdminMsgs).count("Connection lost: Quillo 1 on " + port) ==
                   2;
        },
        10000));
    Pump(1500);
    replug(stranger);
    ASSERT_TRUE(WaitFor(
        [&] {
            return !Texts(FormMain->MemoAdminMsgs)
                        .filter("Not reconnected: Quillo 1 on ")
                        .isEmpty();
        },
        30000));
    EXPECT_TRUE(
        Texts(FormMain->MemoAdminMsgs)
            .contains("Not reconnected: Quillo 1 on " + port + " answers as another device"));
    EXPECT_FALSE(FormMain->QLO->Connected());
    EXPECT_FALSE(FormMain->BRS->Link().Port() == port);
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Disconnect All");
}

TEST_F(TrackingTest, ConnectAllEmptiesBothChartsAndDisconnectAllKeepsThem) {
    TFocuserOptions o;
    o.driftPerSecond = 0;
    TSimFocuser focuser(o);
    TSimDewController dew;
    Plug("a-focuser", focuser);
    Plug("b-dew", dew);
    FormMain->CheckBoxTrackAll->setChecked(false);
    for (int i = 0; i < 5; ++i) {
        for (int s = 0; s < 2; ++s)
            FormMain->ChartQLO->AddPoint(s, 10, 0, 0xff0000ffu);
        for (int s = 0; s < 4; ++s)
            FormMain->ChartBRS->AddPoint(s, 10, 0, 0xff0000ffu);
    }

    ClickLoadDevices();
    // Cleared before the first replies (a first one may already be charted on a loaded machine).
    for (const qsizetype count : Counts())
        EXPECT_LE(count, 1);
    // One focuser temperature and one dew frame, two refreshes: the second adds to the series
    // of both devices, the first only to those of the device that answered first; nothing for
    // the absent focuser 2.
    ASSERT_TRUE(WaitFor(
        [] { return Count(FormMain->ChartQLO, 0) >= 1 && Count(FormMain->ChartBRS, 0) >= 1; },
        3000));
    Pump(200);
    const std::vector<qsizetype> night = Counts();
    EXPECT_EQ(night[0] + night[2], 3);
    EXPECT_EQ(night, (std::vector<qsizetype>{night[0], 0, night[2], night[2], night[2], night[2]}));

    ClickLoadDevices();
    ASSERT_FALSE(FormMain->QLO->Connected());
    EXPECT_EQ(Counts(), night);

    ClickLoadDevices();
    ASSERT_TRUE(FormMain->QLO->Connected());
    for (const qsizetype count : Counts())
        EXPECT_LE(count, 1);
}

// Through the main window: each series starts with its own device's first reading, never with
// the zeros the values start at, and the chart's menu saves the points it holds and its picture.
TEST_F(TrackingTest, ChartsStartWithTheFirstReadingsAndTheirMenuSavesThem) {
    TFocuserOptions o;
    o.temperature = 7.5;
    o.driftPerSecond = 0;
    TDewOptions d;
    d.timeScale = 0;
    TSimFocuser focuser(o);
    TSimDewController dew(d);
    Plug("a-focuser", focuser);
    Plug("b-dew", dew);
    ClickLoadDevices();
    THistoryChart* quillo = FormMain->ChartQLO;
    THistoryChart* brisella = FormMain->ChartBRS;
    ASSERT_TRUE(WaitFor([&] { return Count(quillo, 0) >= 3 && Count(brisella, 0) >= 3; }, 9000));
    EXPECT_EQ(quillo->PointValue(0, 0), 7.5);
    const TDewReadings r = dew.Readings();
    const double first[] = {r.probe[0], r.probe[1], r.dewPoint, r.ambient};
    for (int s = 0; s < 4; ++s)
        EXPECT_NEAR(brisella->PointValue(s, 0), first[s], 0.006) << s;

    // A right click, the menu's item, the file chosen in the dialog.
    auto save = [](THistoryChart* chart, int item, const QString& path) {
        QContextMenuEvent click(QContextMenuEvent::Mouse, {40, 60},
                                chart->mapToGlobal(QPoint(40, 60)));
        QApplication::sendEvent(chart, &click);
        QMenu* menu = chart->findChild<QMenu*>();
        ASSERT_TRUE(menu && menu->isVisible());
        ASSERT_EQ(menu->actions().size(), 2);
        EXPECT_EQ(menu->actions()[item]->text(),
                  item ? "Save readings as CSV..." : "Save chart as PNG...");
        menu->actions()[item]->trigger();
        auto* dialog = chart->findChild<QFileDialog*>("SaveChartDialog");
        ASSERT_TRUE(dialog && dialog->isVisible());
        dialog->selectFile(path);
        static_cast<QDialog*>(dialog)->accept(); // as its Save button does
    };
    save(quillo, 0, folder_.filePath("quillo.png"));
    EXPECT_EQ(QImage(folder_.filePath("quillo.png")).size(), quillo->size());
    save(brisella, 1, folder_.filePath("brisella.csv"));
    QFile file(folder_.filePath("brisella.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    EXPECT_EQ(csv, ChartCsv(*brisella));
    qsizetype points = 0;
    for (int s = 0; s < 4; ++s)
        points += Count(brisella, s);
    EXPECT_EQ(csv.count('\n'), 1 + points);

    ErrorRecorder errors;
    brisella->Save(THistoryChart::Saving::Readings, "/proc/brisella.csv");
    EXPECT_TRUE(errors.messages.join('|').startsWith("Could not save the readings to /proc/"));
}

// ---- Replies over real links, the test holding the far end ----

class LinkTest : public FormsTest {
  protected:
    static void Open(TDevice* device, const TestPty& pty) { device->Open(pty.Path()); }
    // Writes a chunk and waits until the receive handler has logged it.
    static bool Send(TestPty& pty, const QByteArray& chunk, const QString& rxPrefix) {
        const qsizetype before = DebugCount(rxPrefix);
        pty.Write(chunk);
        return WaitFor([&] { return DebugCount(rxPrefix) > before; }, 2000);
    }

    TestPty focuser;
    TestPty focuser2;
    TestPty dew;
};

TEST_F(LinkTest, ReplySplitOverTwoNotificationsIsBufferedThenStored) {
    Open(FormMain->QLO, focuser);
    ASSERT_TRUE(Send(focuser, "P=012", "QLO Rx:"));
    EXPECT_EQ(DebugTexts().last(), "    incomplet, Bufferisation !");
    EXPECT_EQ(FormMain->QLO->RxBuffer, "P=012");
    EXPECT_EQ(FormMain->LabelQLOPositionValue->text(), "");

    ASSERT_TRUE(Send(focuser, "34\n", "QLO Rx:"));
    EXPECT_EQ(FormMain->QLO->Position, 1234);
    EXPECT_EQ(FormMain->LabelQLOPositionValue->text(), "1234");
    EXPECT_TRUE(DebugHas("     extracted QLO pos:01234"));
    EXPECT_TRUE(FormMain->QLO->RxBuffer.isEmpty());
    // Focuser 2 is not connected: it shows the readings it starts with.
    EXPECT_EQ(FormMain->LabelQLO2PositionValue->text(), "0");
    EXPECT_EQ(FormMain->LabelQLO2TempValue->text(), "0 °C");
}

TEST_F(LinkTest, ReplyLinesFollowTheLineRules) {
    Open(FormMain->QLO, focuser);
    ASSERT_TRUE(Send(focuser, "\rP=02222\n", "QLO Rx:"));
    EXPECT_EQ(FormMain->QLO->Position, 2222); // a carriage return before the key is harmless

    // Four digits: the position stays, but the display is refreshed.
    FormMain->LabelQLOPositionValue->setText("moving");
    ASSERT_TRUE(Send(focuser, "P=1234\n", "QLO Rx:"));
    EXPECT_EQ(FormMain->QLO->Position, 2222);
    EXPECT_EQ(FormMain->LabelQLOPositionValue->text(), "2222");

    // Only the first line counts; the second is dropped with the buffer.
    ASSERT_TRUE(Send(focuser, "P=05555\nT=9.5\n", "QLO Rx:"));
    EXPECT_EQ(FormMain->QLO->Position, 5555);
    EXPECT_EQ(FormMain->QLO->Temp, 0);
    EXPECT_TRUE(FormMain->QLO->RxBuffer.isEmpty());

    // Focuser 2 has its own buffer, readings and labels.
    Open(FormMain->QLO2, focuser2);
    ASSERT_TRUE(Send(focuser2, "T=-3.25\n", "QLO2 Rx:"));
    EXPECT_EQ(FormMain->QLO2->Temp, -3.25);
    EXPECT_EQ(FormMain->LabelQLO2TempValue->text(), "-3.25 °C");
    EXPECT_EQ(FormMain->LabelQLOTempValue->text(), "0 °C");
}

TEST_F(LinkTest, OnlyFocuserOneDiscardsUnreadInputBeforeItsPoll) {
    Open(FormMain->QLO, focuser);
    Open(FormMain->QLO2, focuser2);
    // Replies that arrived while the GUI thread was busy, still unread at the next tick.
    focuser.Write("P=01111\n");
    focuser2.Write("P=02222\n");
    // Wait until they reach the ports, without running the event loop (no handler may read).
    for (int i = 0; i < 2500 && (focuser.WaitingAtPort() < 8 || focuser2.WaitingAtPort() < 8); ++i)
        QThread::msleep(2);
    ASSERT_EQ(focuser.WaitingAtPort(), 8);
    ASSERT_EQ(focuser2.WaitingAtPort(), 8);
    FormMain->getValuesQLO();
    EXPECT_EQ(focuser.Read(6), "FTMPRO");
    EXPECT_EQ(focuser2.Read(6), "FTMPRO");
    EXPECT_TRUE(WaitFor([] { return FormMain->QLO2->Position == 2222; }, 2000));
    Pump(100);
    EXPECT_EQ(FormMain->QLO->Position, 0);
    EXPECT_TRUE(FormMain->QLO->AskPosition);
    EXPECT_TRUE(FormMain->QLO2->AskPosition);
    EXPECT_TRUE(DebugHas("QLO Tx: FTMPRO"));
    EXPECT_TRUE(DebugHas("QLO2 Tx: FTMPRO"));
}

TEST_F(LinkTest, RepliesThatDoNotConvertAreLoggedAndTheNextOnesParsed) {
    Open(FormMain->QLO, focuser);
    ASSERT_TRUE(Send(focuser, "T=abc\n", "QLO Rx:"));
    EXPECT_TRUE(DebugHas(
        "Erreur extraction QLO :'abc' n'est pas une valeur en virgule flottante correcte"));
    EXPECT_TRUE(FormMain->QLO->RxBuffer.isEmpty());
    ASSERT_TRUE(Send(focuser, "T=8.5\n", "QLO Rx:"));
    EXPECT_EQ(FormMain->QLO->Temp, 8.5);
    EXPECT_EQ(FormMain->LabelQLOTempValue->text(), "8.5 °C");

    ASSERT_TRUE(Send(focuser, "P=12a45\n", "QLO Rx:"));
    EXPECT_TRUE(DebugHas("Erreur extraction QLO :'12a45' n'est pas une valeur entière correcte"));
    EXPECT_TRUE(FormMain->QLO->RxBuffer.isEmpty());
    ASSERT_TRUE(Send(focuser, "P=04321\n", "QLO Rx:"));
    EXPECT_EQ(FormMain->QLO->Position, 4321);
}

TEST_F(LinkTest, LineWithoutLineFeedIsDroppedOnceTooLong) {
    Open(FormMain->QLO, focuser);
    // The handler reads 80 characters per notification: send in smaller pieces.
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(Send(focuser, QByteArray(64, 'x'), "QLO Rx:"));
    EXPECT_EQ(FormMain->QLO->RxBuffer.size(), 256); // at the bound, still kept
    ASSERT_TRUE(Send(focuser, QByteArray(64, 'x'), "QLO Rx:"));
    EXPECT_EQ(DebugTexts().last(),
              "    trop long sans fin de ligne (320 caractères), RxBufferQLO vidé !");
    EXPECT_TRUE(FormMain->QLO->RxBuffer.isEmpty());

    ASSERT_TRUE(Send(focuser, "P=03333\n", "QLO Rx:"));
    EXPECT_EQ(FormMain->QLO->Position, 3333);
    EXPECT_TRUE(DebugHas("OK RxBufferQLO:P=03333")); // nothing of the dropped text before it
}

TEST_F(LinkTest, DewFrameExampleStoresShowsAndMovesTheSliders) {
    ASSERT_EQ(DecimalSeparator(), QChar('.'));
    Open(FormMain->BRS, dew);
    const QByteArray frame = "##21.5/20.75/18.0/65.2/11.43/40/40/40/1/2/0/3/3/1/1/2**";
    ASSERT_TRUE(Send(dew, frame, "BRS Rx:"));

    const TFormMain* m = FormMain;
    EXPECT_EQ(m->BRS->Values.LocTemp1, 21.5);
    EXPECT_EQ(m->BRS->Values.LocTemp2, 20.75);
    EXPECT_EQ(m->BRS->Values.AmbTemp, 18);
    EXPECT_EQ(m->BRS->Values.Humidity, 65.2);
    EXPECT_EQ(m->BRS->Values.Dewpoint, 11.43);
    EXPECT_EQ((std::vector<int>{m->BRS->Values.Out1, m->BRS->Values.Out2, m->BRS->Values.Out3,
                                m->BRS->Values.CalT1, m->BRS->Values.CalT2, m->BRS->Values.CalTA,
                                m->BRS->Values.ThrT1, m->BRS->Values.ThrT2, m->BRS->Values.Automode,
                                m->BRS->Values.OutsLinked, m->BRS->Values.Aggressive}),
              (std::vector<int>{40, 40, 40, 1, 2, 0, 3, 3, 1, 1, 2}));
    EXPECT_EQ(m->LabelBRSLocTemp1Value->text(), "22.5 °C");
    EXPECT_EQ(m->LabelBRSLocTemp2Value->text(), "22.75 °C");
    EXPECT_EQ(m->LabelBRSAmbTempValue->text(), "18 °C");
    EXPECT_EQ(m->LabelBRSHumidityValue->text(), "65.2 %");
    EXPECT_EQ(m->LabelBRSDewpointValue->text(), "11.43 °C");
    for (const QLabel* out : {m->LabelBRSOut1Value, m->LabelBRSOut2Value, m->LabelBRSOut3Value})
        EXPECT_EQ(out->text(), "40 %");
    for (const QProgressBar* bar : {m->ProgressBarOut1, m->ProgressBarOut2, m->ProgressBarOut3})
        EXPECT_EQ(bar->value(), 40);
    EXPECT_EQ(m->LabelAutomatic->text(), "Auto mode activated");
    for (const QSlider* slider : {m->TrackBarBRS1, m->TrackBarBRS2, m->TrackBarBRS3})
        EXPECT_EQ(slider->value(), 4);
    EXPECT_EQ(dew.Read(18), "S1O040S2O040S3O040");
    EXPECT_TRUE(DebugHas("BRS cmd S3Oxxx :S3O040"));
    EXPECT_TRUE(m->BRS->RxBuffer.isEmpty());

    // The same frame again leaves the sliders where they are: nothing is sent.
    ASSERT_TRUE(Send(dew, frame, "BRS Rx:"));
    EXPECT_EQ(dew.Read(1, 300), "");
    EXPECT_EQ(Count(m->ChartBRS, 0), 2);
}

TEST_F(LinkTest, FailedSliderWriteIsLoggedAndTheChartsStillGrow) {
    Open(FormMain->BRS, dew);
    ASSERT_TRUE(Send(dew, kQuietFrame, "BRS Rx:"));
    dew.CloseMaster(); // writes to the link now fail
    FormMain->BRS->Values.Automode = 1;
    FormMain->BRS->Values.Out1 = 50;
    FormMain->BRS->Values.Out2 = 70;
    FormMain->setValues();
    EXPECT_TRUE(DebugHas("Erreur transformation SetValues :WriteFile function failed (Error: 5)"));
    EXPECT_EQ(FormMain->TrackBarBRS1->value(), 5); // moved, its command failed
    EXPECT_EQ(FormMain->TrackBarBRS2->value(), 0); // skipped after the error
    EXPECT_EQ(Counts(), (std::vector<qsizetype>{0, 0, 2, 2, 2, 2}));
}

// ---- updateGraphic ----

TEST_F(LinkTest, ChartBoundsAreStrictAndTheDewPointHasNoUpperBound) {
    Open(FormMain->QLO, focuser);
    Open(FormMain->BRS, dew);
    TFormMain* m = FormMain;
    // Both have read; the bounds are tried on values set here.
    ASSERT_TRUE(Send(focuser, "T=1\n", "QLO Rx:"));
    ASSERT_TRUE(Send(dew, kQuietFrame, "BRS Rx:"));
    m->ChartQLO->Clear(0);
    for (int s = 0; s < 4; ++s)
        m->ChartBRS->Clear(s);
    m->QLO->Temp = 45;
    m->QLO2->Temp = 20; // focuser 2 not connected
    m->BRS->Values.LocTemp1 = 44.5;
    m->BRS->Values.CalT1 = 1; // 45.5
    m->BRS->Values.LocTemp2 = 45;
    m->BRS->Values.AmbTemp = -45;
    m->BRS->Values.Dewpoint = 50;
    m->updateGraphic();
    EXPECT_EQ(Counts(), (std::vector<qsizetype>{0, 0, 0, 0, 1, 0}));
    EXPECT_EQ(LastValue(m->ChartBRS, 2), 50);

    m->QLO->Temp = -44.9;
    m->BRS->Values.LocTemp1 = 43.5; // 44.5 with its offset
    m->BRS->Values.LocTemp2 = -44.5;
    m->BRS->Values.CalTA = 3;
    m->BRS->Values.AmbTemp = 41.75;
    m->BRS->Values.Dewpoint = -45;
    m->updateGraphic();
    EXPECT_EQ(Counts(), (std::vector<qsizetype>{1, 0, 1, 1, 1, 1}));
    EXPECT_EQ(LastValue(m->ChartQLO, 0), -44.9);
    EXPECT_EQ(LastValue(m->ChartBRS, 0), 44.5);
    EXPECT_EQ(LastValue(m->ChartBRS, 1), -44.5);
    EXPECT_EQ(LastValue(m->ChartBRS, 3), 44.75);

    m->BRS->Values.Dewpoint = -44;
    m->updateGraphic();
    EXPECT_EQ(LastColor(m->ChartQLO, 0), 0xff0000ffu);
    EXPECT_EQ(LastColor(m->ChartBRS, 0), 0xff008080u);
    EXPECT_EQ(LastColor(m->ChartBRS, 1), 0xff008000u);
    EXPECT_EQ(LastColor(m->ChartBRS, 2), 0xffff0000u);
    EXPECT_EQ(LastColor(m->ChartBRS, 3), 0xff000000u);
    EXPECT_EQ(Count(m->ChartQLO, 1), 0); // focuser 2 is not connected

    Open(m->QLO2, focuser2);
    ASSERT_TRUE(Send(focuser2, "T=1\n", "QLO2 Rx:"));
    m->QLO2->Temp = -44.99;
    m->updateGraphic();
    EXPECT_EQ(LastValue(m->ChartQLO, 1), -44.99);
    EXPECT_EQ(LastColor(m->ChartQLO, 1), 0xff008000u);
}

// A series starts with its own device's first reading since its link opened: a position reply
// is no temperature, and the dew controller's values count once a whole frame was parsed.
TEST_F(LinkTest, ASeriesStartsWithItsDevicesFirstReading) {
    Open(FormMain->QLO, focuser);
    Open(FormMain->BRS, dew);
    ASSERT_TRUE(Send(focuser, "P=01234\n", "QLO Rx:"));
    EXPECT_EQ(Counts(), std::vector<qsizetype>(6, 0));
    ASSERT_TRUE(Send(focuser, "T=10.5\n", "QLO Rx:"));
    EXPECT_EQ(Counts(), (std::vector<qsizetype>{1, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(Send(dew, kQuietFrame, "BRS Rx:"));
    EXPECT_EQ(Counts(), (std::vector<qsizetype>{2, 0, 1, 1, 1, 1}));
    EXPECT_EQ(LastValue(FormMain->ChartBRS, 0), 20);

    // A position reply charts the last temperature again.
    ASSERT_TRUE(Send(focuser, "P=01234\n", "QLO Rx:"));
    EXPECT_EQ(Counts(), (std::vector<qsizetype>{3, 0, 2, 2, 2, 2}));
    EXPECT_EQ(LastValue(FormMain->ChartQLO, 0), 10.5);

    // A frame that fails to parse adds nothing.
    ASSERT_TRUE(Send(dew, "##x/1/2**", "BRS Rx:"));
    EXPECT_TRUE(DebugHas(
        "Erreur extraction BRS getall :'x' n'est pas une valeur en virgule flottante correcte"));
    EXPECT_EQ(Counts(), (std::vector<qsizetype>{3, 0, 2, 2, 2, 2}));

    // A link opened again waits for its device's next temperature.
    FormMain->ClosePortQLO();
    Open(FormMain->QLO, focuser);
    ASSERT_TRUE(Send(focuser, "P=01234\n", "QLO Rx:"));
    EXPECT_EQ(Counts(), (std::vector<qsizetype>{3, 0, 3, 3, 3, 3}));
}
