// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Brisella dew controller on its link: its sixteen values from the last frame, its firmware
// version from the identification, its receive buffer and its exchanges.
#include "Device.h"
#include "Frame.h"

#include <QByteArray>

class TDewController : public TDevice {
    Q_OBJECT
  public:
    explicit TDewController(LogSink log, QObject* parent = nullptr);

    // BRSLocTemp1 ... BRSAggressive, as the last frame left them (fields are stored one by one).
    DewValues Values;
    int FirmwareVersion = 0; // BRSFirmwareVersion
    QByteArray RxBuffer;     // RxBufferBRS

    // The poll: "SGETAL", written and forgotten.
    void Poll();
    // The receive step of the link's notification; emits FrameParsed after a whole frame was
    // parsed.
    void CharsReceived();
    // A whole frame was parsed since the link opened: Values hold readings, not the zeros they
    // start at.
    bool HasFrame() const { return hasFrame_; }

    // Output command of a slider ("S2O070"), logged then written; nothing when not connected.
    // With the controller free it is written at once and a write error raises Failure; while an
    // exchange runs it waits for its turn and a write error is logged.
    void SendOutput(int output, int sliderPosition);
    // The same output command as an exchange of its own, in the controller's turn.
    QCoro::Task<> SetOutput(int output, int sliderPosition);
    // Automatic mode moves outputs 1 and 2 itself, and output 3 while it is linked to output 2.
    bool OutputOwnedByAuto(int output) const;

    // The settings exchanges, each in the controller's turn; they raise Failure.
    // Save calibration ("SCA" + three digits) and Save thresholds ("STHR" + two): logged with
    // their label, written, then 200 ms and one discarded read.
    QCoro::Task<> SaveCalibration(QString t1, QString t2, QString ta);
    QCoro::Task<> SaveThresholds(QString t1, QString t2);
    // Save outputs: "SLINKx" and 200 ms; then "SAUTOx", 200 ms, "SAGGRx" (nothing written with
    // no item, -1) and one discarded read.
    QCoro::Task<> SaveOutputs(bool linked, bool automatic, int aggressivityItem);
    // "SEERAZ", pause 200 ms, a discarded read, pause 500 ms.
    QCoro::Task<> Reset();

  signals:
    // A whole frame was parsed: the display refresh runs.
    void FrameParsed();

  protected:
    void AfterOpen() override { hasFrame_ = false; }
    void CharsArrived() override { CharsReceived(); }

  private:
    // Logs label + command, then writes the command (an empty command writes nothing).
    void Send(const QString& label, const QByteArray& command);

    bool hasFrame_ = false;
};
