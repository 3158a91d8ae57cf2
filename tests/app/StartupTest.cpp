// SPDX-License-Identifier: GPL-3.0-or-later
#include "BRSForm.h"
#include "ComPort.h"
#include "DewController.h"
#include "Focuser.h"
#include "FormsFixture.h"
#include "HistoryChart.h"
#include "MainForm.h"
#include "Panels.h"
#include "PanelsForm.h"
#include "QLOForm.h"
#include "QLOWebserver.h"
#include "QtTestSupport.h"
#include "TestPty.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

TEST_F(FormsTest, StartsDisconnectedWithEverythingDisabled) {
    // No display name is set: Qt would append it to every window title.
    EXPECT_EQ(QApplication::applicationDisplayName(), QApplication::applicationName());
    EXPECT_EQ(FormMain->windowTitle(), "Skyvarn v0.5");
    for (QLabel* status : {FormMain->LabelPortStatusQLO, FormMain->LabelPortStatusQLO2,
                           FormMain->LabelPortStatusBRS})
        EXPECT_EQ(status->text(), "Disconnected");
    for (QLabel* value : {FormMain->LabelQLOPositionValue, FormMain->LabelQLOTempValue,
                          FormMain->LabelQLO2PositionValue, FormMain->LabelQLO2TempValue,
                          FormMain->LabelBRSAmbTempValue, FormMain->LabelBRSDewpointValue,
                          FormMain->LabelBRSHumidityValue, FormMain->LabelBRSLocTemp1Value,
                          FormMain->LabelBRSLocTemp2Value, FormMain->LabelBRSOut1Value})
        EXPECT_TRUE(value->text().isEmpty()) << value->objectName().toStdString();
    for (QPushButton* b :
         {FormMain->ButtonDetailsQLO, FormMain->ButtonDetailsQLO2, FormMain->ButtonDetailsBRS,
          FormMain->ButtonDetailsPanels, FormMain->ButtonQLOWS})
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
    EXPECT_EQ(FormMain->memoDebugLogs->toPlainText(), "Logs..");
    EXPECT_FALSE(FormMain->memoDebugLogs->isVisibleTo(FormMain));
    EXPECT_EQ(FormMain->MemoAdminMsgs->toPlainText(), "Notifs..");
    EXPECT_FALSE(FormMain->GroupBoxPanels->isVisibleTo(FormMain));
    EXPECT_FALSE(FormMain->QLO->Connected());
    EXPECT_EQ(FormMain->Tracking.ThreadedTimerQLO(), nullptr);
    EXPECT_EQ(FormMain->Tracking.ThreadedTimerBRS(), nullptr);
    EXPECT_EQ(FormMain->QLO->Position, 0);
    EXPECT_TRUE(FormMain->BRS->RxBuffer.isEmpty());
}

TEST_F(FormsTest, SecondaryWindowsStartHiddenInTheirStartStates) {
    for (QWidget* w : std::initializer_list<QWidget*>{FormQLO, FormBRS, FormPanels, FormQLOWS})
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    QStringList speeds;
    for (int i = 0; i < FormQLO->ComboBoxSpeed->count(); ++i)
        speeds << FormQLO->ComboBoxSpeed->itemText(i);
    EXPECT_EQ(speeds, QStringList({"Average", "Slow", "UltraSlow"}));
    EXPECT_FALSE(FormQLO->RadioButtonFocuser2->isEnabled());
    EXPECT_TRUE(FormQLO->RadioButtonFocuser1->isEnabled());
    EXPECT_FALSE(FormBRS->ButtonSaveCalValues->isEnabled());
    EXPECT_FALSE(FormBRS->ButtonSaveThrValues->isEnabled());
    EXPECT_FALSE(FormBRS->ButtonSaveOutValues->isEnabled());
    EXPECT_TRUE(FormQLOWS->BtnStart->isEnabled());
    EXPECT_FALSE(FormQLOWS->BtnStop->isEnabled());
    EXPECT_EQ(FormPanels->windowTitle(), "Morvessa Manager v0.1");
}

TEST_F(FormsTest, ControlsSitAtTheirBoundsAndFindableByName) {
    auto* connect = FormMain->findChild<QPushButton*>("ButtonLoadDevices");
    ASSERT_NE(connect, nullptr);
    EXPECT_EQ(connect->geometry(), QRect(3, 4, 105, 17));
    EXPECT_EQ(FormMain->findChild<QGroupBox*>("GroupBoxQLO2")->geometry(),
              QRect(247, 24, 242, 129));
    EXPECT_EQ(FormMain->findChild<QPushButton*>("ButtonDetailsQLO2")->geometry(),
              QRect(169, 57, 65, 22));
    EXPECT_EQ(FormMain->findChild<QWidget*>("ChartBRS")->geometry(), QRect(0, 506, 489, 217));
    EXPECT_EQ(FormMain->GroupBoxQLO->font().pixelSize(), 16);
    EXPECT_TRUE(FormMain->GroupBoxQLO->font().bold());
    EXPECT_EQ(FormMain->LabelPortStatusQLO->font().pixelSize(), 16);
    EXPECT_EQ(FormMain->ButtonDetailsQLO->font().pixelSize(), 11);
}

TEST_F(FormsTest, FocuserOneDetailsTogglesTheWindowAndSelectsFocuserOne) {
    FormMain->ButtonDetailsQLOClick();
    EXPECT_TRUE(FormQLO->isVisible());
    EXPECT_TRUE(FormQLO->RadioButtonFocuser1->isChecked());
    FormMain->ButtonDetailsQLOClick();
    EXPECT_FALSE(FormQLO->isVisible());
}

TEST_F(FormsTest, FocuserTwoDetailsOnlyShowsAndSelectsFocuserTwo) {
    FormMain->ButtonDetailsQLO2Click();
    FormMain->ButtonDetailsQLO2Click();
    EXPECT_TRUE(FormQLO->isVisible());
    EXPECT_TRUE(FormQLO->RadioButtonFocuser2->isChecked());
    EXPECT_FALSE(FormQLO->RadioButtonFocuser1->isChecked());
    // Focuser 1's button then selects focuser 1 and hides the shown window.
    FormMain->ButtonDetailsQLOClick();
    EXPECT_TRUE(FormQLO->RadioButtonFocuser1->isChecked());
    EXPECT_FALSE(FormQLO->RadioButtonFocuser2->isChecked());
    EXPECT_FALSE(FormQLO->isVisible());
}

TEST_F(FormsTest, DewPanelsAndRemoteAccessButtonsShowTheirWindows) {
    FormMain->ButtonDetailsBRSClick();
    EXPECT_TRUE(FormBRS->isVisible());
    EXPECT_EQ(FormBRS->LabelFirmwareValue->text(), "0"); // refreshed from the stored state
    FormMain->ButtonDetailsBRSClick();
    EXPECT_FALSE(FormBRS->isVisible());
    FormMain->ButtonDetailsPanelsClick();
    EXPECT_TRUE(FormPanels->isVisible());
    FormMain->ButtonDetailsPanelsClick();
    EXPECT_FALSE(FormPanels->isVisible());
    FormMain->ButtonQLOWSClick();
    FormMain->ButtonQLOWSClick();
    EXPECT_TRUE(FormQLOWS->isVisible());
}

TEST_F(FormsTest, ConnectAllCaptionFollowsTheFocuserLinksAtOnce) {
    TestPty focuser, dew;
    FormMain->BRS->Open(dew.Path());
    // The dew controller's link has no caption notification: the caption is left alone.
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
    FormMain->QLO->Open(focuser.Path());
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Disconnect All");
    FormMain->QLO->Close();
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Disconnect All"); // the dew link is still open
    FormMain->BRS->Close();
    FormMain->SetConnectAllCaption();
    EXPECT_EQ(FormMain->ButtonLoadDevices->text(), "Connect All");
}

TEST_F(FormsTest, ClosingALinkResetsItsPanelAndHidesItsWindow) {
    TestPty focuser;
    FormMain->QLO->Open(focuser.Path());
    FormMain->ConnectQLO(focuser.Path());
    EXPECT_EQ(FormMain->LabelPortStatusQLO->text(), "connected " + focuser.Path());
    EXPECT_FALSE(FormMain->ButtonQLOWS->isEnabled()); // offered once polled
    focuser.Read(6);                                  // the FMMODE of the connection
    FormMain->QLO->Poll();                            // unanswered: the poll ends on its bound
    EXPECT_TRUE(WaitFor([] { return FormMain->ButtonQLOWS->isEnabled(); }, 5000));
    focuser.Read(6);
    FormMain->LabelQLOPositionValue->setText("1234");
    FormQLO->show();
    FormMain->ClosePortQLO();
    EXPECT_EQ(focuser.Read(6), "FMMODE"); // manual mode before the close
    EXPECT_FALSE(FormMain->QLO->Connected());
    EXPECT_EQ(FormMain->LabelPortStatusQLO->text(), "Disconnected");
    EXPECT_TRUE(FormMain->LabelQLOPositionValue->text().isEmpty());
    EXPECT_FALSE(FormMain->ButtonDetailsQLO->isEnabled());
    EXPECT_FALSE(FormMain->ButtonQLOWS->isEnabled());
    EXPECT_FALSE(FormQLO->isVisible());
    EXPECT_EQ(Texts(FormMain->memoDebugLogs).last(), "Close QLO Port");
    // Closing a closed link only hides the window.
    FormQLO->show();
    const int lines = int(Lines(FormMain->memoDebugLogs).size());
    FormMain->ClosePortQLO();
    EXPECT_FALSE(FormQLO->isVisible());
    EXPECT_EQ(Lines(FormMain->memoDebugLogs).size(), lines);
}

TEST_F(FormsTest, LogLinesCarryTheirTimeStamps) {
    FormMain->LogDebug("QLO Tx: FPOSRO");
    FormMain->LogNotifs("Start tracking Quillo..");
    const QString debug = Lines(FormMain->memoDebugLogs).last();
    const QString notif = Lines(FormMain->MemoAdminMsgs).last();
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d QLO Tx: FPOSRO$").match(debug).hasMatch())
        << debug.toStdString();
    EXPECT_TRUE(
        QRegularExpression("^\\d\\d:\\d\\d Start tracking Quillo\\.\\.$").match(notif).hasMatch())
        << notif.toStdString();
    EXPECT_EQ(Lines(FormMain->memoDebugLogs).first(), "Logs..");
    EXPECT_FALSE(FormMain->memoDebugLogs->isVisibleTo(FormMain)); // the switch is off in this build
}

TEST_F(FormsTest, DebugLogKeepsTheNewestLinesPastItsCap) {
    for (int i = 0; i < kDebugLogMaxLines + 10; ++i)
        FormMain->LogDebug(QString::number(i));
    const QStringList texts = Texts(FormMain->memoDebugLogs);
    EXPECT_EQ(texts.size(), kDebugLogMaxLines);
    EXPECT_EQ(texts.last(), QString::number(kDebugLogMaxLines + 9));
    // The notification log is not capped.
    for (int i = 0; i < 50; ++i)
        FormMain->LogNotifs("n");
    EXPECT_EQ(Lines(FormMain->MemoAdminMsgs).size(), 51);
}

// Night vision: every window and both charts red on black (no green or blue above a third of
// the red), but the pictures a phone's camera reads, until the program ends.
TEST_F(FormsTest, NightVisionTurnsEveryWindowRedOnBlack) {
    FormMain->ChartQLO->AddPoint(0, 10, 600, 0xff0000ff);
    FormMain->ChartQLO->AddPoint(0, 12, 601, 0xff0000ff);
    FormMain->ChartBRS->AddPoint(3, 5, 600, 0xff000000);
    FormMain->ChartBRS->AddPoint(3, 6, 601, 0xff000000);
    FormMain->ActionNightVision->setChecked(true);
    const QList<QWidget*> pictures{
        FormQLOWS->PaintBox1, FormQLOWS->ImageWiFi,
        FormMain->findChild<QWidget*>(QStringLiteral("ImageAlpacaAppQr"))};
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMenu*>(window)) continue;
        const QImage shot = window->grab().toImage();
        int wrong = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QPoint at(x, y);
                if (std::any_of(pictures.begin(), pictures.end(), [&](QWidget* p) {
                        return p && p->window() == window &&
                               QRect(p->mapTo(window, QPoint(0, 0)), p->size()).contains(at);
                    }))
                    continue;
                const QColor c = shot.pixelColor(at);
                if (c.green() * 3 > c.red() + 3 || c.blue() * 3 > c.red() + 3) ++wrong;
            }
        EXPECT_EQ(wrong, 0) << window->objectName().toStdString();
        if (const QByteArray dir = qgetenv("NIGHT_VISION_SHOTS"); !dir.isEmpty())
            shot.save(QString::fromLocal8Bit(dir) + QChar('/') + window->objectName() + ".png");
    }
    EXPECT_FALSE(FormMain->ActionNightVision->isEnabled());
    // The windows of the next test in this process are made anew, by day.
    qApp->setStyleSheet(QString());
    QApplication::setPalette(QPalette());
}
