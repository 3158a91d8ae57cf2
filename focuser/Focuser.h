// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A Quillo focuser on its link: its readings and poll flag, its receive buffer, its compensation
// flag, and its exchanges. Focuser 1 and focuser 2 are two instances; they differ only in their
// names in the logs and in that focuser 1's unread input is dropped before each poll.
#include "Commands.h"
#include "Device.h"
#include "Moves.h"
#include "Telemetry.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The settings that Save values writes, as the window's controls hold them.
struct TFocuserSettingsInput {
    int speedItem = -1; // 0 "Average", 1 "Slow", 2 "UltraSlow"; -1 none chosen
    bool reversed = false;
    bool halfSteps = false;
    QString maxPosition;
    QString coefficient;
    bool sign = false;
    QString threshold;
};

class TFocuser : public TDevice {
    Q_OBJECT
  public:
    // number: 1 or 2.
    TFocuser(int number, LogSink log, QObject* parent = nullptr);
    ~TFocuser() override;

    int Number() const { return number_; }
    // "Quillo 1", as clients are told of it.
    QString Title() const;

    // QLOPosition / QLOTemp / AskPositionQLO / RxBufferQLO (or the QLO2 ones).
    int Position = 0;
    double Temp = 0;
    bool AskPosition = false;
    QByteArray RxBuffer;
    // Temperature compensation started from the settings window and not stopped since
    // (TempCompFocuser1 / TempCompFocuser2); cleared when the focuser is connected.
    bool TempComp = false;

    // One poll of the tracking tick: "FPOSRO" or "FTMPRO", alternately; it holds the focuser's
    // turn until the reply line came, at most kPollBoundMs.
    void Poll() override;
    static constexpr int kPollBoundMs = 900;
    // The receive step of the link's notification; emits Reading after each position or
    // temperature reply.
    void CharsReceived();
    // A temperature reply was taken since the link opened: Temp is a measured value, not the
    // zero it starts at.
    bool HasTemp() const { return hasTemp_; }
    // Likewise for a position reply (or a go-to's own position ask).
    bool HasPosition() const { return hasPosition_; }

    // Manual mode and a cleared compensation flag.
    void Greet() override;

    // The device's operations: each is one exchange, run in the device's turn. Link errors raise
    // Failure unless said otherwise.

    // What reading the stored settings brought: the sign flag when its reply gave one, and the
    // settings reply (after a failed sign reply of focuser 2, that reply).
    struct SettingsRead {
        std::optional<bool> sign;
        QByteArray reply;
    };
    // Read values: "FTAXXA" then "SGETAL", each answered after 200 ms; failures are logged.
    QCoro::Task<SettingsRead> ReadSettings();
    // What only reading or saving the settings changes, as last read or saved since the link
    // opened; clients are answered from it without asking the focuser.
    struct Stored {
        int maxPosition = 0;
        int firmware = 0;
        std::optional<bool> sign;
    };
    const std::optional<Stored>& StoredSettings() const { return stored_; }
    // Reads the settings once, in the focuser's turn, unless they are known by then; failures
    // are logged (the settings stay unknown).
    QCoro::Task<> LearnSettings();
    // Reset all: "SEERAZ" (its failure logged, its answer unused), then the settings read.
    QCoro::Task<SettingsRead> ResetSettings();
    // Save values: the setting commands in order with their pauses, then one discarded read. A
    // value that does not make a six-character command is skipped with its message logged.
    QCoro::Task<> SaveSettings(TFocuserSettingsInput settings);
    // Starts or stops temperature compensation: the flag is set at once, then "FAMODE" or
    // "FMMODE" is written (a failure is logged) and 200 ms pass. The answer is not read.
    QCoro::Task<> SetTempComp(bool on);

    // How a move's wait ended.
    enum class MoveEnd { Done, TimedOut, LinkLost };
    // Why the move would be refused if asked now (nullopt: it would go).
    std::optional<focuser::TRefusal> Refusal(const focuser::TMoveAsk& ask) const;
    // The one way every client moves a focuser. A refused ask raises Failure at once, logged,
    // with nothing written. In its turn the ask is checked again; a go-to that waited behind
    // another move, or that asks to measure, first asks the position ("FPOSRO", its reply taken
    // as a poll's) and goes from there. The move is written (a failure is logged and the wait
    // still runs), then every 500 ms one read, until one holds "*". The wait ends without the
    // mark when the link is closed or hung up, or after the move's bound; how it ended is
    // logged. Done at once when there is nothing to move.
    // key: the asking client's (see TDevice::Turn): its newer move replaces this one while it
    // waits, which then raises TSuperseded.
    QCoro::Task<MoveEnd> Move(focuser::TMoveAsk ask, QString key = {});
    bool Moving() const { return moving_; }

  signals:
    // A position or temperature reply was handled: the display refresh runs. taken says which
    // value it brought (None for a position reply that is not five digits).
    void Reading(FocuserValue taken);
    void MoveStarted();
    void MoveEnded(TFocuser::MoveEnd end);
    void TempCompChanged();

  protected:
    void AfterOpen() override;
    void BeforeClose() override;
    void CharsArrived() override { CharsReceived(); }
    bool TakePollReply() override;

  private:
    QString WriteErrorPrefix() const;
    // Writes the command; a failure is logged with the prefix, not raised.
    void WriteOrLog(const QByteArray& command, const QString& errorPrefix);
    // Write, pause 200 ms, read once: the whole reply.
    QCoro::Task<QByteArray> Ask(QByteArray command);
    // The settings read of the turn already held.
    QCoro::Task<SettingsRead> AskSettings();
    QCoro::Task<SettingsRead> AskSettingsQLO();
    QCoro::Task<SettingsRead> AskSettingsQLO2();
    focuser::TMoveState MoveState() const;
    // Logs why a move is refused and raises it.
    [[noreturn]] void Refuse(const focuser::TMoveAsk& ask, const QString& why);
    // Asks the position in the turn already held: the reply is taken as a poll's; raises
    // Failure, logged, when it holds none.
    QCoro::Task<> Measure(QString errorPrefix);
    // The move of the turn already held.
    QCoro::Task<MoveEnd> Run(bool in, int steps);
    QCoro::Task<MoveEnd> WaitForMoveEnd(int limitMs, QString readError);
    // The receive step for what was read; true when it brought a position.
    bool Take(const std::optional<QByteArray>& chunk);

    const int number_;
    bool moving_ = false;
    bool hasTemp_ = false;
    bool hasPosition_ = false;
    int movesStarted_ = 0;
    std::optional<Stored> stored_;
};
