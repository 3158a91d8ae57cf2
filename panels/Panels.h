// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Morvessa mirror-cover panels unit: recognised and connected, never written to.
#include "Device.h"

class TPanels : public TDevice {
    Q_OBJECT
  public:
    explicit TPanels(LogSink log, QObject* parent = nullptr);
    QString OpenErrorPrefix() const override;
    // Never polled: offered once connected.
    void Greet() override { MarkReady(); }
};
