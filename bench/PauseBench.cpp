// SPDX-License-Identifier: GPL-3.0-or-later
// The pauses as the accessories see them: the gaps between the commands of a focuser's settings
// read and save and of a dew controller's outputs save, taken where the simulator reads them,
// against the lengths the devices need. A timing program: it prints its figures and asserts
// nothing.
#include "DewController.h"
#include "Focuser.h"
#include "SimDew.h"
#include "SimFocuser.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Ms(TSimDevice::Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Gaps between the recorded commands, skipping the ones that follow without a pause.
std::vector<double> Gaps(const std::vector<TReceived>& r, const std::vector<std::string>& noPause) {
    std::vector<double> gaps;
    for (std::size_t i = 1; i < r.size(); ++i)
        if (std::find(noPause.begin(), noPause.end(), r[i].text) == noPause.end())
            gaps.push_back(Ms(r[i].at - r[i - 1].at));
    return gaps;
}

void Print(const char* what, std::vector<double> gaps, double needed) {
    std::sort(gaps.begin(), gaps.end());
    if (gaps.empty()) return;
    std::printf("%-28s %4zu gaps  needed %5.1f ms  shortest %6.1f  median %6.1f  longest %6.1f\n",
                what, gaps.size(), needed, gaps.front(), gaps[gaps.size() / 2], gaps.back());
}

QCoro::Task<> Run(TFocuser& focuser, TSimFocuser& simFocuser, TDewController& dew,
                  TSimDewController& simDew) {
    constexpr int kRounds = 10;
    std::vector<double> reads, saves, outputs;
    for (int i = 0; i < kRounds; ++i) {
        simFocuser.ClearReceived();
        co_await focuser.ReadSettings(); // FTAXXA, 200 ms, SGETAL
        for (double g : Gaps(simFocuser.Received(), {}))
            reads.push_back(g);
        simFocuser.ClearReceived();
        TFocuserSettingsInput s;
        s.speedItem = 0;
        s.maxPosition = "60000";
        s.coefficient = "10";
        s.threshold = "5";
        co_await focuser.SaveSettings(s); // the rotation follows the speed without a pause
        for (double g : Gaps(simFocuser.Received(), {"SMROTH"}))
            saves.push_back(g);
        simDew.ClearReceived();
        co_await dew.SaveOutputs(i % 2 == 0, false, 1); // SLINKx, 200 ms, SAUTOx, 200 ms, SAGGRx
        for (double g : Gaps(simDew.Received(), {}))
            outputs.push_back(g);
    }
    Print("focuser settings read", reads, 200);
    Print("focuser settings save", saves, 200);
    Print("dew outputs save", outputs, 200);
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TFocuserOptions focuserOptions;
    focuserOptions.driftPerSecond = 0;
    TSimFocuser simFocuser(focuserOptions);
    TSimDewController simDew;
    TFocuser focuser(1, {});
    TDewController dew({});
    focuser.Open(QString::fromStdString(simFocuser.Port()));
    dew.Open(QString::fromStdString(simDew.Port()));
    QTimer::singleShot(0, [&] { Run(focuser, simFocuser, dew, simDew); });
    return app.exec();
}
