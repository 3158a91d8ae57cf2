// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A Connect All search under way: every port's probe, run side by side.
#include "MainForm.h"
#include "Probe.h"

#include <QCoroTask>
#include <memory>
#include <vector>

struct TFormMain::Search {
    std::vector<std::unique_ptr<TPortProbe>> probes;
    std::vector<QCoro::Task<>> runs;
    int taken = 0;        // probes whose findings were taken, in port order
    bool stopped = false; // the button stopped it
    QString caption;      // what the button says once the search has ended
};
