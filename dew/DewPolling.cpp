// The main window's dew controller polling and receiving, the display refresh of all
// readings, and the output sliders.
#include "ComPort.h"
#include "Convert.h"
#include "Display.h"
#include "Failure.h"
#include "Frame.h"
#include "MainForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>

namespace {
constexpr int kReadMax = 80;

DewValues StoredValues(const TFormMain* m) {
    return {m->BRSLocTemp1, m->BRSLocTemp2, m->BRSAmbTemp,    m->BRSHumidity,
            m->BRSDewpoint, m->BRSOut1,     m->BRSOut2,       m->BRSOut3,
            m->BRSCalT1,    m->BRSCalT2,    m->BRSCalTA,      m->BRSThrT1,
            m->BRSThrT2,    m->BRSAutomode, m->BRSOutsLinked, m->BRSAggressive};
}

void Store(TFormMain* m, const DewValues& v) {
    m->BRSLocTemp1 = v.locTemp1;
    m->BRSLocTemp2 = v.locTemp2;
    m->BRSAmbTemp = v.ambTemp;
    m->BRSHumidity = v.humidity;
    m->BRSDewpoint = v.dewpoint;
    m->BRSOut1 = v.out1;
    m->BRSOut2 = v.out2;
    m->BRSOut3 = v.out3;
    m->BRSCalT1 = v.calT1;
    m->BRSCalT2 = v.calT2;
    m->BRSCalTA = v.calTA;
    m->BRSThrT1 = v.thrT1;
    m->BRSThrT2 = v.thrT2;
    m->BRSAutomode = v.automode;
    m->BRSOutsLinked = v.outsLinked;
    m->BRSAggressive = v.aggressive;
}

// Moves a slider as the user would, its change handler included, but calls the handler here
// so that its errors reach the caller instead of crossing Qt's signal machinery.
template <class Handler> void MoveSlider(QSlider* slider, int position, Handler handler) {
    position = std::clamp(position, slider->minimum(), slider->maximum());
    if (slider->value() == position) return;
    {
        const QSignalBlocker quiet(slider);
        slider->setValue(position);
    }
    handler();
}

void SendOutput(TFormMain* m, QSlider* slider, int output) {
    if (!m->ComPortBRS->Connected()) return;
    const QString command =
        QStringLiteral("S%1O%2").arg(output).arg(slider->value() * 10, 3, 10, QChar('0'));
    m->LogDebug(QStringLiteral("BRS cmd S%1Oxxx :").arg(output) + command);
    m->ComPortBRS->WriteText(ToDevice(command));
}
} // namespace

void TFormMain::getValuesBRS() {
    if (!ComPortBRS->Connected()) return;
    try {
        ComPortBRS->WriteText("SGETAL");
    } catch (const Failure& e) {
        LogDebug(QStringLiteral("Erreur écriture ComPortBRS :") + e.Message());
    }
    LogDebug(QStringLiteral("BRS Tx: SGETAL"));
}

void TFormMain::BRScharsReceived() {
    std::optional<QByteArray> chunk;
    if (ComPortBRS->Connected()) {
        QByteArray text;
        try {
            ComPortBRS->ReadText(text, kReadMax);
        } catch (const Failure& e) {
            LogDebug(QStringLiteral("Erreur lecture ComPortBRS :") + e.Message());
            return;
        }
        chunk = text;
    }
    DewValues values = StoredValues(this);
    const bool complete = ReceiveDewChunk(RxBufferBRS, chunk, values,
                                          [this](const QString& line) { LogDebug(line); });
    Store(this, values);
    if (complete) setValues();
}

void TFormMain::setValues() {
    try {
        LabelQLOPositionValue->setText(QString::number(QLOPosition));
        LabelQLOTempValue->setText(TemperatureText(QLOTemp));
        LabelQLO2PositionValue->setText(QString::number(QLO2Position));
        LabelQLO2TempValue->setText(TemperatureText(QLO2Temp));

        const DewTexts texts = DewDisplayTexts(StoredValues(this));
        LabelBRSLocTemp1Value->setText(texts.locTemp1);
        LabelBRSLocTemp2Value->setText(texts.locTemp2);
        LabelBRSHumidityValue->setText(texts.humidity);
        LabelBRSAmbTempValue->setText(texts.ambTemp);
        LabelBRSDewpointValue->setText(texts.dewpoint);
        LabelBRSOut1Value->setText(texts.out1);
        LabelBRSOut2Value->setText(texts.out2);
        LabelBRSOut3Value->setText(texts.out3);
        ProgressBarOut1->setValue(std::clamp(BRSOut1, 0, 100));
        ProgressBarOut2->setValue(std::clamp(BRSOut2, 0, 100));
        ProgressBarOut3->setValue(std::clamp(BRSOut3, 0, 100));

        if (BRSAutomode == 1) {
            LabelAutomatic->setText(kAutoModeText);
            MoveSlider(TrackBarBRS1, OutputSliderPosition(BRSOut1),
                       [this] { TrackBarBRS1Change(); });
            MoveSlider(TrackBarBRS2, OutputSliderPosition(BRSOut2),
                       [this] { TrackBarBRS2Change(); });
            if (BRSOutsLinked == 1)
                MoveSlider(TrackBarBRS3, OutputSliderPosition(BRSOut3),
                           [this] { TrackBarBRS3Change(); });
        } else if (BRSOutsLinked == 1) {
            MoveSlider(TrackBarBRS3, TrackBarBRS2->value(), [this] { TrackBarBRS3Change(); });
        }
    } catch (const Failure& e) {
        LogDebug(QStringLiteral("Erreur transformation SetValues :") + e.Message());
    }
    updateGraphic();
}

void TFormMain::TrackBarBRS1Change() {
    SendOutput(this, TrackBarBRS1, 1);
}
void TFormMain::TrackBarBRS2Change() {
    SendOutput(this, TrackBarBRS2, 2);
}
void TFormMain::TrackBarBRS3Change() {
    SendOutput(this, TrackBarBRS3, 3);
}
