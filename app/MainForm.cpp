// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainForm.h"

#include "BRSForm.h"
#include "ComPort.h"
#include "Controls.h"
#include "DewController.h"
#include "ErrorReport.h"
#include "Focuser.h"
#include "HistoryChart.h"
#include "IndiForm.h"
#include "Panels.h"
#include "PanelsForm.h"
#include "PortArrivals.h"
#include "PortWatch.h"
#include "Probe.h"
#include "QLOForm.h"
#include "QLOWebserver.h"
#include "Search.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTime>

using look::Label;
using look::Make;
using look::Style;

TFormMain* FormMain = nullptr;
TFormQLO* FormQLO = nullptr;
TFormBRS* FormBRS = nullptr;
TFormPanels* FormPanels = nullptr;
TFormQLOWS* FormQLOWS = nullptr;
TFormIndi* FormIndi = nullptr;

namespace {

QGroupBox* Group(QWidget* parent, const char* name, int l, int t, int w, int h,
                 const QString& title) {
    return look::Group(parent, name, l, t, w, h, title, 16, look::Red);
}

QPushButton* DetailsButton(QWidget* parent, const char* name, int left, int top) {
    auto* button =
        look::Captioned<QPushButton>(parent, name, left, top, 65, 22, QStringLiteral("Details"));
    Style(button, 11, true, look::Red);
    return button;
}

QLabel* Caption(QWidget* parent, const char* name, int left, int top, const QString& text) {
    return Label(parent, name, left, top, text, 13, false, look::Teal);
}

QLabel* Value(QWidget* parent, const char* name, int left, int top) {
    return Label(parent, name, left, top, QString(), 13, true, look::Teal);
}

QPlainTextEdit* Memo(QWidget* parent, const char* name, int l, int t, int w, int h) {
    auto* memo = Make<QPlainTextEdit>(parent, name, l, t, w, h);
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Style(memo, 11);
    return memo;
}

void AppendLine(QPlainTextEdit* memo, const QString& line) {
    memo->appendPlainText(line);
    // Keep the newest line in sight; the box has no scroll bars.
    memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

} // namespace

TFormMain::TFormMain(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Skyvarn v0.5"));
    // Client area of a 499 x 751 outer window.
    setFixedSize(491, 724);
    Style(this, 11);
    BuildTop();
    BuildFocuserPanels();
    BuildChartsAndLogs();
    BuildDewPanel();
    BuildPanelsGroup();
    memoDebugLogs->raise();
    BuildDevices();
}

TFormMain::~TFormMain() {
    // Timers first: a tick must not write to a link that is going away. The links then close
    // with their devices and send nothing.
    Tracking.StopFocusers();
    Tracking.StopDew();
    EndSearch();
    StopArrivals();
    heldProbe_.reset();
    for (Panel* panel : {&panelQLO_, &panelQLO2_, &panelBRS_, &panelPanels_})
        StopWatching(*panel);
    for (TDevice* device : std::initializer_list<TDevice*>{QLO, QLO2, BRS, PrimaryPanels})
        delete device;
}

namespace {

// Night vision's colours: no green or blue above a third of the red.
QPalette NightPalette() {
    QPalette night;
    const QColor text(0xff, 0x30, 0x00), black(Qt::black);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = group == QPalette::Disabled;
        for (QPalette::ColorRole role :
             {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText,
              QPalette::ToolTipText, QPalette::PlaceholderText, QPalette::Link,
              QPalette::LinkVisited, QPalette::HighlightedText})
            night.setColor(group, role, off ? QColor(0x80, 0x18, 0x00) : text);
        for (QPalette::ColorRole role :
             {QPalette::Window, QPalette::Base, QPalette::ToolTipBase, QPalette::Shadow})
            night.setColor(group, role, black);
        night.setColor(group, QPalette::AlternateBase, QColor(0x18, 0, 0));
        night.setColor(group, QPalette::Button, QColor(0x28, 0, 0));
        night.setColor(group, QPalette::Light, QColor(0x60, 0, 0));
        night.setColor(group, QPalette::Midlight, QColor(0x48, 0, 0));
        night.setColor(group, QPalette::Mid, QColor(0x30, 0, 0));
        night.setColor(group, QPalette::Dark, QColor(0x20, 0, 0));
        night.setColor(group, QPalette::Highlight, QColor(0x80, 0, 0));
    }
    return night;
}

// The style's own bevels blend white and grey into the palette: the framed controls are drawn
// from these colours instead, and the captions that set their own colour take this one.
const char kNightSheet[] =
    "* { color: #ff3000; } *:disabled { color: #801800; }"
    "QPushButton { background-color: #280000; border: 1px solid #700000; }"
    "QPushButton:pressed, QPushButton:checked { background-color: #500000; }"
    "QPushButton:disabled { border-color: #400000; }"
    "QSpinBox, QDoubleSpinBox, QComboBox, QLineEdit, QPlainTextEdit, QTextEdit, QListView,"
    " QProgressBar { background-color: #100000; border: 1px solid #600000; }"
    "QProgressBar::chunk { background-color: #a00000; }"
    "QSpinBox::up-button, QSpinBox::down-button, QDoubleSpinBox::up-button,"
    " QDoubleSpinBox::down-button, QComboBox::drop-down { background-color: #300000;"
    " border: 1px solid #600000; }"
    "QSpinBox::up-arrow, QDoubleSpinBox::up-arrow { width: 0; height: 0;"
    " border-left: 3px solid #300000; border-right: 3px solid #300000;"
    " border-bottom: 3px solid #ff3000; }"
    "QSpinBox::down-arrow, QDoubleSpinBox::down-arrow, QComboBox::down-arrow { width: 0;"
    " height: 0; border-left: 3px solid #300000; border-right: 3px solid #300000;"
    " border-top: 3px solid #ff3000; }"
    "QCheckBox::indicator, QRadioButton::indicator { width: 9px; height: 9px;"
    " border: 1px solid #900000; background-color: #100000; }"
    "QRadioButton::indicator { border-radius: 5px; }"
    "QCheckBox::indicator:checked, QRadioButton::indicator:checked { background-color: #ff3000; }"
    "QGroupBox { border: 1px solid #500000; }"
    "QScrollBar { background-color: #100000; }"
    "QScrollBar::handle { background-color: #500000; }"
    "QToolTip, QMenu { background-color: #100000; border: 1px solid #600000; }"
    "QMenu::item:selected { background-color: #500000; }";

// The output sliders' thin track bars, by day and at night.
QString SliderSheet(bool night) {
    return night ? QStringLiteral(
                       "QSlider::groove:horizontal { height: 3px; background: #600000; }"
                       "QSlider::handle:horizontal { width: 8px; margin: -2px 0; background: "
                       "#ff3000; }"
                       "QSlider::handle:horizontal:disabled { background: #500000; }")
                 : QStringLiteral(
                       "QSlider::groove:horizontal { height: 3px; background: #9a9a9a; }"
                       "QSlider::handle:horizontal { width: 8px; margin: -2px 0; background: "
                       "#303030; }"
                       "QSlider::handle:horizontal:disabled { background: #a0a0a0; }");
}

} // namespace

void TFormMain::BuildTop() {
    ButtonLoadDevices = look::Captioned<QPushButton>(this, "ButtonLoadDevices", 3, 4, 105, 17,
                                                     QStringLiteral("Connect All"));
    CheckBoxTrackAll = look::Captioned<QCheckBox>(this, "CheckBoxTrackAll", 176, 4, 65, 17,
                                                  QStringLiteral("Track all"));
    CheckBoxTrackAll->setChecked(true);
    ButtonQLOWS = look::Captioned<QPushButton>(this, "ButtonQLOWS", 314, 4, 127, 17,
                                               QStringLiteral("remote access"));
    connect(ButtonLoadDevices, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonLoadDevicesClick(); }));
    connect(ButtonQLOWS, &QPushButton::clicked, this, GuardedSlot([this] { ButtonQLOWSClick(); }));
    // In the free end of the top row, so that no control of the window moves.
    ButtonIndi =
        look::Captioned<QPushButton>(this, "ButtonIndi", 444, 4, 45, 17, QStringLiteral("INDI"));
    ButtonIndi->setToolTip(QStringLiteral("INDI server for Ekos and other INDI clients"));
    connect(ButtonIndi, &QPushButton::clicked, this, GuardedSlot([this] { ButtonIndiClick(); }));
    // In the context menu, so that no control of the window moves.
    ActionHotplug = new QAction(QStringLiteral("Find accessories plugged in later"), this);
    ActionHotplug->setObjectName(QStringLiteral("ActionHotplug"));
    ActionHotplug->setCheckable(true);
    connect(ActionHotplug, &QAction::toggled, this,
            GuardedSlot([this] { SetHotplug(ActionHotplug->isChecked()); }));
    addAction(ActionHotplug);
    ActionNightVision = new QAction(QStringLiteral("Night vision (until Skyvarn ends)"), this);
    ActionNightVision->setObjectName(QStringLiteral("ActionNightVision"));
    ActionNightVision->setCheckable(true);
    connect(ActionNightVision, &QAction::toggled, this, GuardedSlot([this] {
                if (ActionNightVision->isChecked()) NightVision();
            }));
    addAction(ActionNightVision);
}

void TFormMain::NightVision() {
    if (ActionNightVision->isChecked() && !ActionNightVision->isEnabled()) return;
    // For the rest of the run: Qt gives the windows' own fonts back wrongly when the
    // application's style sheet is taken away again.
    ActionNightVision->setChecked(true);
    ActionNightVision->setEnabled(false);
    QApplication::setPalette(NightPalette());
    qApp->setStyleSheet(QString::fromLatin1(kNightSheet));
    for (QSlider* slider : {TrackBarBRS1, TrackBarBRS2, TrackBarBRS3})
        slider->setStyleSheet(SliderSheet(true));
    for (THistoryChart* chart : {ChartQLO, ChartBRS})
        chart->SetNight(true);
}

void TFormMain::BuildFocuserPanels() {
    struct Names {
        const char *group, *status, *pos, *posValue, *temp, *tempValue, *comp, *details;
    };
    const Names one{"GroupBoxQLO",           "LabelPortStatusQLO", "LabelQLOPosition",
                    "LabelQLOPositionValue", "LabelQLOTemp",       "LabelQLOTempValue",
                    "LabelTempComp",         "ButtonDetailsQLO"};
    const Names two{"GroupBoxQLO2",           "LabelPortStatusQLO2", "LabelQLO2Position",
                    "LabelQLO2PositionValue", "LabelQLO2Temp",       "LabelQLO2TempValue",
                    "LabelTempComp2",         "ButtonDetailsQLO2"};
    auto build = [](QGroupBox* g, const Names& n, int detailsLeft, QLabel** status, QLabel** pos,
                    QLabel** posValue, QLabel** temp, QLabel** tempValue, QLabel** comp,
                    QPushButton** details) {
        *status = look::StatusLabel(g, n.status, 64, 32, g->width() - 4);
        *pos = Caption(g, n.pos, 8, 61, QStringLiteral("Position :"));
        *posValue = Value(g, n.posValue, 68, 61);
        *temp = Caption(g, n.temp, 8, 85, QStringLiteral("Temperature : "));
        *tempValue = Value(g, n.tempValue, 101, 85);
        *comp = Label(g, n.comp, 8, 106, QStringLiteral("       "), 13, true, look::Maroon);
        *details = DetailsButton(g, n.details, detailsLeft, 57);
    };
    GroupBoxQLO = Group(this, one.group, 0, 24, 241, 129, QStringLiteral("Quillo 1"));
    build(GroupBoxQLO, one, 168, &LabelPortStatusQLO, &LabelQLOPosition, &LabelQLOPositionValue,
          &LabelQLOTemp, &LabelQLOTempValue, &LabelTempComp, &ButtonDetailsQLO);
    GroupBoxQLO2 = Group(this, two.group, 247, 24, 242, 129, QStringLiteral("Quillo 2"));
    build(GroupBoxQLO2, two, 169, &LabelPortStatusQLO2, &LabelQLO2Position, &LabelQLO2PositionValue,
          &LabelQLO2Temp, &LabelQLO2TempValue, &LabelTempComp2, &ButtonDetailsQLO2);
    connect(ButtonDetailsQLO, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonDetailsQLOClick(); }));
    connect(ButtonDetailsQLO2, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonDetailsQLO2Click(); }));
}

void TFormMain::BuildDewPanel() {
    QGroupBox* g = GroupBoxBRS =
        Group(this, "GroupBoxBRS", 0, 368, 489, 129, QStringLiteral("Brisella"));
    LabelPortStatusBRS =
        look::StatusLabel(g, "LabelPortStatusBRS", 168, 17, 410); // ends before Details
    LabelBRSAmbTemp = Caption(g, "LabelBRSAmbTemp", 8, 37, QStringLiteral("Ambient temperature :"));
    LabelBRSAmbTempValue = Value(g, "LabelBRSAmbTempValue", 144, 37);
    LabelAutomatic =
        Label(g, "LabelAutomatic", 217, 36, QStringLiteral("       "), 13, true, look::Maroon);
    LabelBRSDewpoint = Caption(g, "LabelBRSDewpoint", 8, 60, QStringLiteral("Dew point :"));
    LabelBRSDewpointValue = Value(g, "LabelBRSDewpointValue", 81, 60);
    LabelBRSHumidity = Caption(g, "LabelBRSHumidity", 8, 82, QStringLiteral("Humidity :"));
    LabelBRSHumidityValue = Value(g, "LabelBRSHumidityValue", 72, 82);
    LabelBRSLocTemp1 = Caption(g, "LabelBRSLocTemp1", 8, 106, QStringLiteral("Temp 1 :"));
    LabelBRSLocTemp1Value = Value(g, "LabelBRSLocTemp1Value", 67, 106);
    LabelBRSLocTemp2 = Caption(g, "LabelBRSLocTemp2", 126, 106, QStringLiteral("Temp 2 :"));
    LabelBRSLocTemp2Value = Value(g, "LabelBRSLocTemp2Value", 181, 106);
    LabelBRSOut1 = Caption(g, "LabelBRSOut1", 245, 58, QStringLiteral("Output 1"));
    LabelBRSOut2 = Caption(g, "LabelBRSOut2", 245, 82, QStringLiteral("Output 2"));
    LabelBRSOut3 = Caption(g, "LabelBRSOut3", 245, 106, QStringLiteral("Output 3"));
    LabelBRSOut1Value = Value(g, "LabelBRSOut1Value", 300, 57);
    LabelBRSOut2Value = Value(g, "LabelBRSOut2Value", 300, 81);
    LabelBRSOut3Value = Value(g, "LabelBRSOut3Value", 300, 105);
    // Value labels end where the progress bars begin.
    for (QLabel* v : {LabelBRSOut1Value, LabelBRSOut2Value, LabelBRSOut3Value})
        v->resize(44, v->height());
    QProgressBar** bars[] = {&ProgressBarOut1, &ProgressBarOut2, &ProgressBarOut3};
    QSlider** sliders[] = {&TrackBarBRS1, &TrackBarBRS2, &TrackBarBRS3};
    const char* barNames[] = {"ProgressBarOut1", "ProgressBarOut2", "ProgressBarOut3"};
    const char* sliderNames[] = {"TrackBarBRS1", "TrackBarBRS2", "TrackBarBRS3"};
    const int barTops[] = {59, 84, 108};
    const int sliderTops[] = {52, 75, 100};
    for (int i = 0; i < 3; ++i) {
        auto* bar = *bars[i] = Make<QProgressBar>(g, barNames[i], 344, barTops[i], 137, 16);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        auto* slider = *sliders[i] = Make<QSlider>(g, sliderNames[i], 333, sliderTops[i], 156, 7);
        slider->setAccessibleName(QStringLiteral("Output %1").arg(i + 1));
        slider->setOrientation(Qt::Horizontal);
        slider->setRange(0, 10);
        slider->setValue(0);
        slider->setPageStep(1);
        // A 7-pixel track bar: thin groove, small thumb.
        slider->setStyleSheet(SliderSheet(false));
    }
    connect(TrackBarBRS1, &QSlider::valueChanged, this,
            GuardedSlot([this] { TrackBarBRS1Change(); }));
    connect(TrackBarBRS2, &QSlider::valueChanged, this,
            GuardedSlot([this] { TrackBarBRS2Change(); }));
    connect(TrackBarBRS3, &QSlider::valueChanged, this,
            GuardedSlot([this] { TrackBarBRS3Change(); }));
    ButtonDetailsBRS = DetailsButton(g, "ButtonDetailsBRS", 414, 21);
    connect(ButtonDetailsBRS, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonDetailsBRSClick(); }));
}

void TFormMain::BuildChartsAndLogs() {
    auto strip = [this](const char* name, int top,
                        const QList<std::tuple<const char*, int, QString, QColor>>& labels) {
        auto* panel = Make<QWidget>(this, name, 0, top, 489, 25);
        panel->setAutoFillBackground(true);
        for (const auto& [labelName, left, text, color] : labels)
            Label(panel, labelName, left, 4, text, 13, false, color);
        return panel;
    };
    ChartQLO = new THistoryChart(this, 2);
    ChartQLO->setObjectName(QStringLiteral("ChartQLO"));
    ChartQLO->setGeometry(0, 157, 489, 207);
    PanelTempQLO = strip("PanelTempQLO", 157,
                         {{"Label11", 5, QStringLiteral("Quillo T°"), look::WindowText()},
                          {"Label7", 177, QStringLiteral("QLO1 t°"), look::Blue},
                          {"Label12", 294, QStringLiteral("QLO2 t°"), look::Teal}});
    memoDebugLogs = Memo(this, "memoDebugLogs", 0, 240, 497, 164);
    memoDebugLogs->setMaximumBlockCount(kDebugLogMaxLines);
    memoDebugLogs->hide();
    ChartBRS = new THistoryChart(this, 4);
    ChartBRS->setObjectName(QStringLiteral("ChartBRS"));
    ChartBRS->setGeometry(0, 506, 489, 217);
    PanelTempBRS = strip("PanelTempBRS", 504,
                         {{"Label5", 5, QStringLiteral("Brisella T°"), look::WindowText()},
                          {"Label1", 145, QStringLiteral("Temp1"), look::Blue},
                          {"Label2", 224, QStringLiteral("Temp2"), look::Green},
                          {"Label3", 307, QStringLiteral("Ambient t°"), look::WindowText()},
                          {"Label4", 415, QStringLiteral("Dew point"), look::Red}});
}

void TFormMain::BuildPanelsGroup() {
    QGroupBox* g = GroupBoxPanels =
        Group(this, "GroupBoxPanels", 225, 574, 249, 121, QStringLiteral("Panels manager"));
    LabelPortStatusPanels = look::StatusLabel(g, "LabelPortStatusPanels", 64, 24, g->width() - 4);
    LabelPanelLeft = Caption(g, "LabelPanelLeft", 8, 56, QStringLiteral("Left :"));
    LabelPanelsLeftValue = Value(g, "LabelPanelsLeftValue", 56, 56);
    LabelPanelRight = Caption(g, "LabelPanelRight", 8, 80, QStringLiteral("Right :"));
    LabelPanelRightValue = Value(g, "LabelPanelRightValue", 56, 80);
    ButtonDetailsPanels = DetailsButton(g, "ButtonDetailsPanels", 176, 52);
    connect(ButtonDetailsPanels, &QPushButton::clicked, this,
            GuardedSlot([this] { ButtonDetailsPanelsClick(); }));
    g->hide(); // the panels unit has no panel of its own in this window
    MemoAdminMsgs = Memo(this, "MemoAdminMsgs", 233, 576, 224, 116);
}

void TFormMain::BuildDevices() {
    const LogSink log = [this](const QString& line) { LogDebug(line); };
    QLO = new TFocuser(1, log, this);
    QLO2 = new TFocuser(2, log, this);
    BRS = new TDewController(log, this);
    PrimaryPanels = new TPanels(log, this);
    for (TFocuser* focuser : {QLO, QLO2}) {
        connect(focuser, &TDevice::Opened, this, GuardedSlot([this] { SetConnectAllCaption(); }));
        connect(focuser, &TDevice::Closed, this, GuardedSlot([this] { SetConnectAllCaption(); }));
        connect(focuser, &TFocuser::Reading, this, GuardedSlot([this] { setValues(); }));
        connect(focuser, &TFocuser::MoveStarted, this,
                [this, focuser] { ShowMoving(focuser->Number()); });
    }
    connect(BRS, &TDewController::FrameParsed, this, GuardedSlot([this] { setValues(); }));
    panelQLO_ = {QStringLiteral("Quillo 1"),
                 QLO,
                 LabelPortStatusQLO,
                 {LabelQLOPositionValue, LabelQLOTempValue, LabelTempComp},
                 {ButtonDetailsQLO, ButtonQLOWS}};
    panelQLO2_ = {QStringLiteral("Quillo 2"),
                  QLO2,
                  LabelPortStatusQLO2,
                  {LabelQLO2PositionValue, LabelQLO2TempValue, LabelTempComp2},
                  {ButtonDetailsQLO2}};
    panelBRS_ = {QStringLiteral("Brisella"),
                 BRS,
                 LabelPortStatusBRS,
                 {LabelBRSLocTemp1Value, LabelBRSLocTemp2Value, LabelBRSDewpointValue,
                  LabelBRSHumidityValue, LabelBRSAmbTempValue, LabelBRSOut1Value, LabelBRSOut2Value,
                  LabelBRSOut3Value},
                 {ButtonDetailsBRS}};
    panelPanels_ = {QStringLiteral("Morvessa panels"),
                    PrimaryPanels,
                    LabelPortStatusPanels,
                    {LabelPanelsLeftValue, LabelPanelRightValue},
                    {ButtonDetailsPanels}};
    panelQLO_.kind = panelQLO2_.kind = [](const ProbeKinds& k) { return k.focuser; };
    panelBRS_.kind = [](const ProbeKinds& k) { return k.dew; };
    panelPanels_.kind = [](const ProbeKinds& k) { return k.panels; };
    panelQLO_.connect = &TFormMain::ConnectQLO;
    panelQLO2_.connect = &TFormMain::ConnectQLO2;
    panelBRS_.connect = &TFormMain::ConnectBRS;
    panelPanels_.connect = &TFormMain::ConnectPrimaryPanels;
    for (Panel* panel : {&panelQLO_, &panelQLO2_, &panelBRS_, &panelPanels_}) {
        connect(panel->device, &TDevice::LineLost, this,
                GuardedSlot([this, panel] { LineLost(*panel); }));
        connect(panel->device, &TDevice::BecameReady, this,
                GuardedSlot([this, panel] { Offer(*panel); }));
    }
    NameChartSeries();
}

QString TFormMain::DeviceTitle(const TDevice& device) const {
    for (const Panel* panel : {&panelQLO_, &panelQLO2_, &panelBRS_, &panelPanels_})
        if (panel->device == &device) return panel->title;
    return device.Name();
}

void TFormMain::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program; what runs is ended as at Disconnect All.
    Guarded([this] { CloseAll(); });
    event->accept();
    QWidget::closeEvent(event);
}

// ---- Logs ----

void TFormMain::LogDebug(const QString& text) {
    if (ShowDebugLog) {
        memoDebugLogs->setVisible(true);
        memoDebugLogs->resize(400, 341);
    } else {
        memoDebugLogs->setVisible(false);
    }
    AppendLine(memoDebugLogs,
               QTime::currentTime().toString(QStringLiteral("hh:mm:ss")) + QChar(' ') + text);
}

void TFormMain::LogNotifs(const QString& text) {
    const QString line = QTime::currentTime().toString(QStringLiteral("hh:mm")) + QChar(' ') + text;
    AppendLine(MemoAdminMsgs, line);
    if (EchoNotifs) EchoNotifs(line);
}

// ---- Window handlers ----

void TFormMain::ButtonQLOWSClick() {
    if (!FormQLOWS->isVisible()) FormQLOWS->show();
}

void TFormMain::ButtonIndiClick() {
    if (!FormIndi->isVisible()) FormIndi->show();
    FormIndi->raise();
}

void TFormMain::ButtonDetailsQLOClick() {
    // Checking runs the selection handler when the choice changes, before show or hide.
    FormQLO->RadioButtonFocuser1->setChecked(true);
    FormQLO->RadioButtonFocuser2->setChecked(false);
    if (FormQLO->isVisible())
        FormQLO->hide();
    else
        FormQLO->show();
}

void TFormMain::ButtonDetailsQLO2Click() {
    FormQLO->RadioButtonFocuser1->setChecked(false);
    FormQLO->RadioButtonFocuser2->setChecked(true);
    if (!FormQLO->isVisible()) FormQLO->show();
}

void TFormMain::ButtonDetailsBRSClick() {
    if (FormBRS->isVisible()) {
        FormBRS->close();
    } else {
        FormBRS->show();
        FormBRS->ButtonReadValuesClick();
    }
}

void TFormMain::ButtonDetailsPanelsClick() {
    if (FormPanels->isVisible())
        FormPanels->close();
    else
        FormPanels->show();
}

void TFormMain::SetConnectAllCaption() {
    const bool any =
        Present(panelQLO_) || Present(panelQLO2_) || Present(panelBRS_) || Present(panelPanels_);
    const QString caption = any ? QStringLiteral("Disconnect All") : QStringLiteral("Connect All");
    // A search shows its progress; the caption is shown once it has ended.
    if (search_)
        SearchCaption(caption);
    else
        ButtonLoadDevices->setText(caption);
}
