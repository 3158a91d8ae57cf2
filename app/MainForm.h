// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: owns the accessories (each a device object with its link), the tracking
// timers, both logs and both charts, and shows every reading. The settings windows reach the
// devices they serve directly and the main window only through the small views it offers them.
#include "DewView.h"
#include "FocuserView.h"
#include "Tracking.h"

#include <QCoroTask>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class TComPort;
class TDevice;
class TDewController;
class TFocuser;
class THistoryChart;
class TPanels;
class TPortArrivals;
class TPortProbe;
class TPortWatch;
struct ProbeKinds;

// Build-time switch: the debug log is shown only when this is true.
#ifdef SKYVARN_SHOW_DEBUG_LOG
inline constexpr bool ShowDebugLog = true;
#else
inline constexpr bool ShowDebugLog = false;
#endif

// The debug log keeps its newest lines past this many (a night of polling stays light).
inline constexpr int kDebugLogMaxLines = 20000;

class TFormMain : public QWidget, public TFocuserView, public TDewView {
  public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // Logs
    void LogDebug(const QString& text);
    void LogNotifs(const QString& text);
    // Also told each notification line, as shown (without a display nobody reads the box).
    std::function<void(const QString&)> EchoNotifs;

    // Window handlers
    void ButtonQLOWSClick();
    void ButtonIndiClick();
    void ButtonDetailsQLOClick();
    void ButtonDetailsQLO2Click();
    void ButtonDetailsBRSClick();
    void ButtonDetailsPanelsClick();
    void SetConnectAllCaption();

    // Links
    void ClosePortQLO();
    void ClosePortQLO2();
    void ClosePortBRS();
    void ClosePortPrimaryPanels();

    // Discovery and connection. Connect All searches every port at once and returns; while it
    // searches the button says how far it got and stops the search.
    void ButtonLoadDevicesClick();
    QCoro::Task<bool> EnumeratePorts(); // false when the search was stopped
    QCoro::Task<> DeviceWho(QString port);
    bool Searching() const { return search_ != nullptr; }
    // The connect path of the click, ending when the search and the first polls are done.
    QCoro::Task<> ConnectAll();
    // The probe link left open by a port that answered neither probe.
    bool ProbePortOpen() const;
    // What closing the main window does: the search stops and every link closes as at
    // Disconnect All.
    void CloseAll();
    void ConnectQLO(const QString& port);
    void ConnectQLO2(const QString& port);
    void ConnectBRS(const QString& port);
    void ConnectPrimaryPanels(const QString& port);
    // "Find accessories plugged in later": from the end of Connect All until Disconnect All,
    // a port that appears is probed as Connect All probes, and its accessory takes its place
    // when that place is free.
    void SetHotplug(bool on);
    // "Night vision": every window and both charts red on black until the program ends.
    void NightVision();

    // Telemetry and display
    void getValuesQLO();
    void getValuesBRS();
    void QLOcharsReceived();
    void QLO2charsReceived();
    void BRScharsReceived();
    void setValues();
    void updateGraphic();
    // The device as the notifications name it ("Quillo 1", "Brisella").
    QString DeviceTitle(const TDevice& device) const;

    // Dew controller output sliders
    void TrackBarBRS1Change();
    void TrackBarBRS2Change();
    void TrackBarBRS3Change();

    // What the settings windows show here.
    void ShowMoving(int focuser);
    void ShowTempComp(int focuser, bool on) override;
    void SetSliderEnabled(int output, bool enabled) override;
    void ShowAutoMode(bool on) override;

    // Controls
    QPushButton* ButtonLoadDevices;
    QCheckBox* CheckBoxTrackAll;
    QPushButton* ButtonQLOWS;
    QPushButton* ButtonIndi;
    QAction* ActionHotplug;     // in the context menu, checkable
    QAction* ActionNightVision; // in the context menu, checkable

    QGroupBox* GroupBoxQLO;
    QLabel* LabelPortStatusQLO;
    QLabel* LabelQLOPosition;
    QLabel* LabelQLOPositionValue;
    QLabel* LabelQLOTemp;
    QLabel* LabelQLOTempValue;
    QLabel* LabelTempComp;
    QPushButton* ButtonDetailsQLO;

    QGroupBox* GroupBoxQLO2;
    QLabel* LabelPortStatusQLO2;
    QLabel* LabelQLO2Position;
    QLabel* LabelQLO2PositionValue;
    QLabel* LabelQLO2Temp;
    QLabel* LabelQLO2TempValue;
    QLabel* LabelTempComp2;
    QPushButton* ButtonDetailsQLO2;

    THistoryChart* ChartQLO;
    QWidget* PanelTempQLO;
    QPlainTextEdit* memoDebugLogs;

    QGroupBox* GroupBoxBRS;
    QLabel* LabelPortStatusBRS;
    QLabel* LabelBRSAmbTemp;
    QLabel* LabelBRSAmbTempValue;
    QLabel* LabelAutomatic;
    QLabel* LabelBRSDewpoint;
    QLabel* LabelBRSDewpointValue;
    QLabel* LabelBRSHumidity;
    QLabel* LabelBRSHumidityValue;
    QLabel* LabelBRSLocTemp1;
    QLabel* LabelBRSLocTemp1Value;
    QLabel* LabelBRSLocTemp2;
    QLabel* LabelBRSLocTemp2Value;
    QLabel* LabelBRSOut1;
    QLabel* LabelBRSOut2;
    QLabel* LabelBRSOut3;
    QLabel* LabelBRSOut1Value;
    QLabel* LabelBRSOut2Value;
    QLabel* LabelBRSOut3Value;
    QProgressBar* ProgressBarOut1;
    QProgressBar* ProgressBarOut2;
    QProgressBar* ProgressBarOut3;
    QSlider* TrackBarBRS1;
    QSlider* TrackBarBRS2;
    QSlider* TrackBarBRS3;
    QPushButton* ButtonDetailsBRS;

    THistoryChart* ChartBRS;
    QWidget* PanelTempBRS;

    QGroupBox* GroupBoxPanels;
    QLabel* LabelPortStatusPanels;
    QLabel* LabelPanelLeft;
    QLabel* LabelPanelRight;
    QLabel* LabelPanelsLeftValue;
    QLabel* LabelPanelRightValue;
    QPushButton* ButtonDetailsPanels;

    QPlainTextEdit* MemoAdminMsgs;

    // The accessories with their links.
    TFocuser* QLO;
    TFocuser* QLO2;
    TDewController* BRS;
    TPanels* PrimaryPanels;

    // ThreadedTimerQLO and ThreadedTimerBRS.
    TTracking Tracking;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // A device's panel here: what a connect fills and a close empties.
    struct Panel {
        QString title; // as the notifications name the device
        TDevice* device;
        QLabel* status;
        std::vector<QLabel*> values;
        std::vector<QPushButton*> buttons; // enabled while connected
        // Whether an identification is of this device's kind, and its connect operation.
        bool (*kind)(const ProbeKinds&) = nullptr;
        void (TFormMain::*connect)(const QString&) = nullptr;
        // A lost line's port, watched for the device's return, and the probe of a return.
        std::unique_ptr<TPortWatch> watch;
        std::unique_ptr<TPortProbe> probe;
    };
    void BuildTop();
    void BuildFocuserPanels();
    void BuildDewPanel();
    void BuildChartsAndLogs();
    void BuildPanelsGroup();
    void BuildDevices();
    void NameChartSeries();
    void Connect(Panel& panel, const QString& port);
    // Closes the device's link and empties its panel; false when it was not connected.
    bool ClosePort(Panel& panel);
    void LineLost(Panel& panel);
    void Offer(Panel& panel);
    // A running timer polls the panel's device (a device never polled counts as tracked).
    bool Tracked(const Panel& panel) const;
    // The device came back on its port: identified again, greeted, polled again.
    QCoro::Task<> Reconnect(Panel& panel);
    void StopWatching(Panel& panel);
    // Connected, or lost and watched for its return.
    static bool Present(const Panel& panel);
    void OpenFound(TDevice& device, const QString& port,
                   void (TFormMain::*connect)(const QString&));
    struct Search;
    void Recognise(const TPortProbe& probe);
    void NoteProbeError(const TPortProbe& probe);
    // Opens the device of the panel on port, found by its identification text.
    void Take(Panel& panel, const QString& port, const QString& text);
    void StartFocuserTracking();
    void StartDewTracking();
    void WatchArrivals(const QStringList& known);
    void StopArrivals();
    void PortsArrived(const QStringList& ports);
    QCoro::Task<> TakeArrival(QString port);
    // The port is a device's, watched for a device's return, or being probed.
    bool Held(const QString& port) const;
    // The free place of an accessory of these kinds; none when its places are all taken.
    Panel* FreePlace(const ProbeKinds& kinds);
    void ShowSearch();
    void StopSearch();
    // The probes end at once; nothing found is taken.
    void EndSearch();
    void SearchCaption(const QString& caption);
    void ClosePorts();
    void ReleaseProbe();
    void MoveSlider(QSlider* slider, int position, void (TFormMain::*handler)());

    Panel panelQLO_, panelQLO2_, panelBRS_, panelPanels_;
    std::unique_ptr<Search> search_;
    std::unique_ptr<TPortProbe> heldProbe_;
    QStringList listed_; // the ports the last search probed
    std::unique_ptr<TPortArrivals> arrivals_;
    std::vector<std::unique_ptr<TPortProbe>> arrivalProbes_;
};

// The five windows of the run, created at start-up in this order.
class TFormQLO;
class TFormBRS;
class TFormPanels;
class TFormQLOWS;
class TFormIndi;
extern TFormMain* FormMain;
extern TFormQLO* FormQLO;
extern TFormBRS* FormBRS;
extern TFormPanels* FormPanels;
extern TFormQLOWS* FormQLOWS;
// The INDI server's window, beside the five.
extern TFormIndi* FormIndi;
