// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Brisella dew controller on its link: its sixteen values from the last frame, its firmware
// version from the identification, its receive buffer and its exchanges.
#include "Device.h"
#include "Frame.h"

#include <QByteArray>
#include <functional>

class TDewController : public TDevice {
    Q_OBJECT
  public:
    explicit TDewController(LogSink log, QObject* parent = nullptr);
    ~TDewController() override;

    // BRSLocTemp1 ... BRSAggressive, as the last frame left them (fields are stored one by one).
    DewValues Values;
    int FirmwareVersion = 0; // BRSFirmwareVersion
    QByteArray RxBuffer;     // RxBufferBRS

    // The poll: "SGETAL"; it holds the controller's turn until the whole frame came, at most
    // kPollBoundMs.
    void Poll() override;
    static constexpr int kPollBoundMs = 1800;
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
    // The same output command as an exchange of its own, in the controller's turn; it ends
    // once a frame shows the output at its new value, and raises Failure when two frames
    // after the write do not.
    QCoro::Task<> SetOutput(int output, int sliderPosition);
    // A frame asked at once, as an exchange in the controller's turn; false when none came
    // whole and parsed within the poll's bound.
    QCoro::Task<bool> Refresh();
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

    // The outputs' modes, as last written or, since, confirmed by a frame asked after the write.
    struct Modes {
        bool linked = false;
        bool automatic = false;
        int aggressivityItem = -1; // -1: none known, nothing written for it
    };
    Modes KnownModes() const;
    enum class Mode { Linked, Automatic };
    // Sets one mode as Save outputs does, in the controller's turn, the other settings as they
    // are known then (so that a write queued behind another keeps what that one wrote). Ends
    // once a frame shows the modes written; raises Failure when two frames after do not.
    QCoro::Task<> SetMode(Mode mode, bool on);

  signals:
    // A whole frame was parsed: the display refresh runs.
    void FrameParsed();

  protected:
    void AfterOpen() override;
    void CharsArrived() override { CharsReceived(); }
    bool TakePollReply() override;

  private:
    // Logs label + command, then writes the command (an empty command writes nothing).
    void Send(const QString& label, const QByteArray& command);

    // The receive step; true when a whole frame was parsed.
    bool Receive(const std::optional<QByteArray>& chunk);
    QCoro::Task<> WriteOutputs(bool linked, bool automatic, int aggressivityItem);
    QCoro::Task<> WriteOutput(int output, int sliderPosition, bool confirm);
    // Writes the poll's command and logs it; false when the write failed (logged).
    bool WritePoll();
    // In the turn of a write: asks frames until one agrees with it (disagreement gives an
    // empty text), at most kConfirmFrames; raises Failure saying how the last one disagreed.
    QCoro::Task<> Confirm(std::function<QString(const DewValues&)> disagreement);
    static constexpr int kConfirmFrames = 2;

    bool hasFrame_ = false;
    unsigned frames_ = 0;          // frames parsed since the controller was made
    std::optional<Modes> written_; // the modes of the last write, until a frame confirms them
    unsigned writes_ = 0;          // mode writes since the link opened
    unsigned pollAfterWrites_ = 0; // writes_ when the last poll was written
};
