#pragma once
// The main window: owns the five serial links, the two polling timers, both logs, both charts
// and every reading of the accessories. The other windows reach them through FormMain.
#include <QByteArray>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class TComPort;
class THistoryChart;
class TThreadedTimer;

// Build-time switch: the debug log is shown only when this is true.
#ifdef SKYVARN_SHOW_DEBUG_LOG
inline constexpr bool ShowDebugLog = true;
#else
inline constexpr bool ShowDebugLog = false;
#endif

// The debug log keeps its newest lines past this many (a night of polling stays light).
inline constexpr int kDebugLogMaxLines = 20000;

class TFormMain : public QWidget {
  public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // Logs
    void LogDebug(const QString& text);
    void LogNotifs(const QString& text);

    // Window handlers
    void ButtonQLOWSClick();
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

    // Discovery and connection
    void ButtonLoadDevicesClick();
    void EnumeratePorts();
    void DeviceWho(const QString& port);
    void ConnectQLO(const QString& port);
    void ConnectQLO2(const QString& port);
    void ConnectBRS(const QString& port);
    void ConnectPrimaryPanels(const QString& port);

    // Telemetry and display
    void getValuesQLO();
    void getValuesBRS();
    void QLOcharsReceived();
    void QLO2charsReceived();
    void BRScharsReceived();
    void setValues();
    void updateGraphic();

    // Dew controller output sliders
    void TrackBarBRS1Change();
    void TrackBarBRS2Change();
    void TrackBarBRS3Change();

    // Controls
    QPushButton* ButtonLoadDevices;
    QCheckBox* CheckBoxTrackAll;
    QPushButton* ButtonQLOWS;

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

    // Links and polling timers
    TComPort* ComPort;
    TComPort* ComPortQLO;
    TComPort* ComPortQLO2;
    TComPort* ComPortBRS;
    TComPort* ComPortPrimaryPanels;
    TThreadedTimer* ThreadedTimerQLO = nullptr;
    TThreadedTimer* ThreadedTimerBRS = nullptr;

    // Readings and flags, touched only on the GUI thread
    int QLOPosition = 0;
    double QLOTemp = 0;
    int QLO2Position = 0;
    double QLO2Temp = 0;
    double BRSLocTemp1 = 0;
    double BRSLocTemp2 = 0;
    double BRSAmbTemp = 0;
    double BRSHumidity = 0;
    double BRSDewpoint = 0;
    bool AskPositionQLO = false;
    bool AskPositionQLO2 = false;
    QByteArray RxBufferQLO;
    QByteArray RxBufferQLO2;
    QByteArray RxBufferBRS;

    // Dew controller settings
    int BRSFirmwareVersion = 0;
    int BRSOut1 = 0;
    int BRSOut2 = 0;
    int BRSOut3 = 0;
    int BRSCalT1 = 0;
    int BRSCalT2 = 0;
    int BRSCalTA = 0;
    int BRSThrT1 = 0;
    int BRSThrT2 = 0;
    int BRSAutomode = 0;
    int BRSOutsLinked = 0;
    int BRSAggressive = 0;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildTop();
    void BuildFocuserPanels();
    void BuildDewPanel();
    void BuildChartsAndLogs();
    void BuildPanelsGroup();
    void BuildLinks();
};

// The five windows of the run, created at start-up in this order.
class TFormQLO;
class TFormBRS;
class TFormPanels;
class TFormQLOWS;
extern TFormMain* FormMain;
extern TFormQLO* FormQLO;
extern TFormBRS* FormBRS;
extern TFormPanels* FormPanels;
extern TFormQLOWS* FormQLOWS;
