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

    // Output command of a slider ("S2O070"), logged then written; nothing when not connected.
    // Raises Failure on a write error.
    void SendOutput(int output, int sliderPosition);
    // Save calibration ("SCA" + three digits) and Save thresholds ("STHR" + two): logged with
    // their label, written, then 200 ms and one discarded read. Raise Failure.
    void SaveCalibration(const QString& t1, const QString& t2, const QString& ta);
    void SaveThresholds(const QString& t1, const QString& t2);
    // Save outputs, in two steps so that the window shows the mode between them: "SLINKx" and
    // 200 ms; then "SAUTOx", 200 ms, "SAGGRx" (nothing written with no item, -1) and one
    // discarded read. Raise Failure.
    void SaveLink(bool linked);
    void SaveMode(bool automatic, int aggressivityItem);
    // "SEERAZ", pause 200 ms, a discarded read, pause 500 ms. Raises Failure.
    void Reset();

  signals:
    // A whole frame was parsed: the display refresh runs.
    void FrameParsed();

  protected:
    void CharsArrived() override { CharsReceived(); }

  private:
    // Logs label + command, then writes the command (an empty command writes nothing).
    void Send(const QString& label, const QByteArray& command);
};
