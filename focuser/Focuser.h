#pragma once
// A Quillo focuser on its link: its readings and poll flag, its receive buffer, its compensation
// flag, and its exchanges. Focuser 1 and focuser 2 are two instances; they differ only in their
// names in the logs and in that focuser 1's unread input is dropped before each poll.
#include "Device.h"

#include <QByteArray>
#include <QString>

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

    int Number() const { return number_; }

    // QLOPosition / QLOTemp / AskPositionQLO / RxBufferQLO (or the QLO2 ones).
    int Position = 0;
    double Temp = 0;
    bool AskPosition = false;
    QByteArray RxBuffer;
    // Temperature compensation started from the settings window and not stopped since
    // (TempCompFocuser1 / TempCompFocuser2); cleared when the focuser is connected.
    bool TempComp = false;

    // One poll of the tracking tick: "FPOSRO" or "FTMPRO", alternately.
    void Poll();
    // The receive step of the link's notification; emits Reading after each value taken.
    void CharsReceived();

    // Manual mode and a cleared compensation flag.
    void Greet() override;

    // Exchanges. Each raises Failure on a link error unless said otherwise.
    // Write, pause 200 ms, read once: the whole reply ("FTAXXA", "SGETAL", "SEERAZ").
    QByteArray Ask(const QByteArray& command);
    // Save values: the setting commands in order with their pauses, then one discarded read. A
    // value that does not make a six-character command is skipped with its message logged.
    void SaveSettings(const TFocuserSettingsInput& settings);

    // Starts or stops temperature compensation: sets the flag, writes "FAMODE" or "FMMODE" (a
    // failure is logged with writeError), then pauses 200 ms. The answer is not read.
    void SetTempComp(bool on, const QString& writeError);

    // How a move's wait ended.
    enum class MoveEnd { Done, TimedOut, LinkLost };
    // Move: write the command (a failure is logged with writeError and the wait still runs),
    // then pause 500 ms and read until one read holds "*". Failed reads are logged with
    // readError; the wait ends without the mark when the link is closed or hung up, or after
    // limitMs of pauses.
    MoveEnd Move(const QByteArray& command, int limitMs, const QString& writeError,
                 const QString& readError);

  signals:
    // A position or temperature reply was taken: the display refresh runs.
    void Reading();

  protected:
    void BeforeClose() override;
    void CharsArrived() override { CharsReceived(); }

  private:
    QString WriteErrorPrefix() const;
    // Writes the command; a failure is logged with the prefix, not raised.
    void WriteOrLog(const QByteArray& command, const QString& errorPrefix);
    const int number_;
};
