// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's history charts: at each display refresh, one point per series whose device
// is connected and has given a reading since; a value never measured is not charted.
#include "DewController.h"
#include "Failure.h"
#include "Focuser.h"
#include "HistoryChart.h"
#include "MainForm.h"

#include <QLabel>
#include <QTime>

namespace {
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kGreen = 0xFF008000;
constexpr QRgb kTeal = 0xFF008080;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kRed = 0xFFFF0000;

bool Plausible(double value) {
    return value > -45 && value < 45;
}
} // namespace

// In the saved readings each series is named by its caption in the chart's header strip and by
// its device.
void TFormMain::NameChartSeries() {
    auto name = [](THistoryChart* chart, int series, QWidget* strip, const char* label,
                   const QString& device) {
        chart->SetSeriesName(series, {strip->findChild<QLabel*>(label)->text(), device});
    };
    name(ChartQLO, 0, PanelTempQLO, "Label7", DeviceTitle(*QLO));
    name(ChartQLO, 1, PanelTempQLO, "Label12", DeviceTitle(*QLO2));
    const QString dew = DeviceTitle(*BRS);
    name(ChartBRS, 0, PanelTempBRS, "Label1", dew);
    name(ChartBRS, 1, PanelTempBRS, "Label2", dew);
    name(ChartBRS, 2, PanelTempBRS, "Label4", dew);
    name(ChartBRS, 3, PanelTempBRS, "Label3", dew);
}

void TFormMain::updateGraphic() {
    auto add = [](THistoryChart* chart, int series, double value, QRgb rgb) {
        chart->AddPoint(series, value, THistoryChart::MinutesOfDay(QTime::currentTime()), rgb);
    };
    try {
        auto charted = [](const TFocuser* f) { return f->Connected() && f->HasTemp(); };
        if (charted(QLO) && Plausible(QLO->Temp)) add(ChartQLO, 0, QLO->Temp, kBlue);
        if (charted(QLO2) && Plausible(QLO2->Temp)) add(ChartQLO, 1, QLO2->Temp, kGreen);
        if (BRS->Connected() && BRS->HasFrame()) {
            const DewValues& v = BRS->Values;
            const double t1 = v.CalT1 + v.LocTemp1;
            const double t2 = v.CalT2 + v.LocTemp2;
            const double ta = v.CalTA + v.AmbTemp;
            if (Plausible(t1)) add(ChartBRS, 0, t1, kTeal);
            if (Plausible(t2)) add(ChartBRS, 1, t2, kGreen);
            if (Plausible(ta)) add(ChartBRS, 3, ta, kBlack);
            if (v.Dewpoint > -45) add(ChartBRS, 2, v.Dewpoint, kRed);
        }
    } catch (const Failure& e) {
        LogDebug(QStringLiteral("Erreur updateGraphics :") + e.Message());
    }
}
