// SPDX-License-Identifier: GPL-3.0-or-later
#include "DewController.h"

#include "Commands.h"
#include "Convert.h"
#include "Failure.h"

#include <QStringList>

namespace {
constexpr int kAnswerPauseMs = 200;
constexpr int kResetPauseMs = 500;
} // namespace

TDewController::TDewController(LogSink log, QObject* parent)
    : TDevice(QStringLiteral("BRS"), QStringLiteral("ComPortBRS"), std::move(log), parent) {}

TDewController::~TDewController() {
    // A write still waiting ends while the controller is whole.
    CancelExchanges();
}

void TDewController::AfterOpen() {
    hasFrame_ = false;
    written_.reset();
}

void TDewController::Poll() {
    // A running exchange owns the line; this tick is skipped.
    StartPoll([this] { return WritePoll(); }, kPollBoundMs, kPollBoundMs);
}

bool TDewController::WritePoll() {
    bool written = true;
    try {
        Link().WriteText(dew::kPoll);
    } catch (const Failure& e) {
        Log(QStringLiteral("Erreur écriture ComPortBRS :") + e.Message());
        written = false;
    }
    pollAfterWrites_ = writes_;
    Log(QStringLiteral("BRS Tx: SGETAL"));
    return written;
}

QCoro::Task<bool> TDewController::Refresh() {
    // A newer refresh replaces one that still waits: one frame answers both.
    const TTurn turn = co_await Turn(QStringLiteral("refresh"));
    const unsigned before = frames_;
    if (!WritePoll()) co_return false;
    co_await AwaitReply(kPollBoundMs);
    co_return frames_ != before;
}

QCoro::Task<> TDewController::Confirm(std::function<QString(const DewValues&)> disagreement) {
    // The controller answers a setting before it acts on it: the first frame may still show
    // the old value, a second one that does too means the setting was not taken.
    QString why = QStringLiteral("no frame came");
    // The answer to the setting first: in the same read as a frame it would drop the frame.
    co_await Pause(kAnswerPauseMs);
    Read();
    for (int frame = 0; frame < kConfirmFrames; ++frame) {
        const unsigned before = frames_;
        if (!WritePoll()) break;
        co_await AwaitReply(kPollBoundMs);
        if (frames_ == before) continue;
        why = disagreement(Values);
        if (why.isEmpty()) co_return;
    }
    throw Failure(QStringLiteral("Brisella did not take the setting: %1").arg(why));
}

void TDewController::CharsReceived() {
    std::optional<QByteArray> chunk;
    if (ReadChunk(chunk)) Receive(chunk);
}

bool TDewController::TakePollReply() {
    std::optional<QByteArray> chunk;
    if (!ReadChunk(chunk)) return false;
    if (Receive(chunk)) return true;
    // A frame that came whole but did not parse is no less the reply.
    const qsizetype start = RxBuffer.indexOf("##");
    return start >= 0 && RxBuffer.indexOf("**") > start;
}

bool TDewController::Receive(const std::optional<QByteArray>& chunk) {
    if (!ReceiveDewChunk(RxBuffer, chunk, Values, [this](const QString& line) { Log(line); }))
        return false;
    hasFrame_ = true;
    ++frames_;
    // Only a frame asked after the last write says what that write did.
    if (pollAfterWrites_ == writes_) written_.reset();
    emit FrameParsed();
    return true;
}

TDewController::Modes TDewController::KnownModes() const {
    if (written_) return *written_;
    const int item = Values.Aggressive >= 1 && Values.Aggressive <= 4 ? Values.Aggressive - 1 : -1;
    return Modes{Values.OutsLinked != 0, Values.Automode != 0, item};
}

void TDewController::SendOutput(int output, int sliderPosition) {
    if (!Connected()) return;
    if (!Engaged()) {
        Send(QStringLiteral("BRS cmd S%1Oxxx :").arg(output),
             dew::OutputCommand(output, sliderPosition));
        return;
    }
    [](TDewController& dew, int output, int position) -> QCoro::Task<> {
        try {
            co_await dew.WriteOutput(output, position, false);
        } catch (const TCancelled&) {
        } catch (const Failure& e) {
            dew.Log(QStringLiteral("Erreur écriture ComPortBRS :") + e.Message());
        }
    }(*this, output, sliderPosition);
}

QCoro::Task<> TDewController::SetOutput(int output, int sliderPosition) {
    co_await WriteOutput(output, sliderPosition, true);
}

QCoro::Task<> TDewController::WriteOutput(int output, int sliderPosition, bool confirm) {
    // A newer value for the same output replaces one that still waits.
    const TTurn turn = co_await Turn(QStringLiteral("output%1").arg(output));
    if (!Connected()) co_return;
    Send(QStringLiteral("BRS cmd S%1Oxxx :").arg(output),
         dew::OutputCommand(output, sliderPosition));
    if (!confirm) co_return;
    const int percent = sliderPosition * 10;
    co_await Confirm([output, percent](const DewValues& v) {
        const int shown = output == 1 ? v.Out1 : output == 2 ? v.Out2 : v.Out3;
        return shown == percent ? QString()
                                : QStringLiteral("output %1 reads %2 %, not %3 %")
                                      .arg(output)
                                      .arg(shown)
                                      .arg(percent);
    });
}

bool TDewController::OutputOwnedByAuto(int output) const {
    if (Values.Automode != 1) return false;
    return output != 3 || Values.OutsLinked == 1;
}

void TDewController::Send(const QString& label, const QByteArray& command) {
    Log(label + FromDevice(command));
    if (!command.isEmpty()) Link().WriteText(command);
}

QCoro::Task<> TDewController::SaveCalibration(QString t1, QString t2, QString ta) {
    const TTurn turn = co_await Turn();
    Send(QStringLiteral("BRS cmd SCAxyz :"), dew::CalibrationCommand(t1, t2, ta));
    co_await Pause(kAnswerPauseMs);
    Read(); // the answer is not used
}

QCoro::Task<> TDewController::SaveThresholds(QString t1, QString t2) {
    const TTurn turn = co_await Turn();
    Send(QStringLiteral("BRS cmd STHRxy :"), dew::ThresholdsCommand(t1, t2));
    co_await Pause(kAnswerPauseMs);
    Read();
}

QCoro::Task<> TDewController::SaveOutputs(bool linked, bool automatic, int aggressivityItem) {
    const TTurn turn = co_await Turn();
    co_await WriteOutputs(linked, automatic, aggressivityItem);
}

QCoro::Task<> TDewController::SetMode(Mode mode, bool on) {
    const TTurn turn = co_await Turn(mode == Mode::Linked ? QStringLiteral("linked")
                                                          : QStringLiteral("automatic"));
    Modes modes = KnownModes();
    (mode == Mode::Linked ? modes.linked : modes.automatic) = on;
    co_await WriteOutputs(modes.linked, modes.automatic, modes.aggressivityItem);
    co_await Confirm([modes](const DewValues& v) {
        QStringList off;
        if ((v.OutsLinked != 0) != modes.linked)
            off << (modes.linked ? QStringLiteral("outputs 2 and 3 still apart")
                                 : QStringLiteral("outputs 2 and 3 still linked"));
        if ((v.Automode != 0) != modes.automatic)
            off << (modes.automatic ? QStringLiteral("automatic mode still off")
                                    : QStringLiteral("automatic mode still on"));
        if (modes.aggressivityItem >= 0 && v.Aggressive != modes.aggressivityItem + 1)
            off << QStringLiteral("aggressivity %1, not %2")
                       .arg(v.Aggressive)
                       .arg(modes.aggressivityItem + 1);
        return off.join(QStringLiteral(", "));
    });
}

QCoro::Task<> TDewController::WriteOutputs(bool linked, bool automatic, int aggressivityItem) {
    // Counted before the first write: a frame asked before it no longer tells the modes.
    ++writes_;
    const Modes before = KnownModes();
    written_ = Modes{linked, automatic,
                     aggressivityItem >= 0 ? aggressivityItem : before.aggressivityItem};
    Send(QStringLiteral("BRS cmd SLINKx :"), dew::LinkCommand(linked));
    co_await Pause(kAnswerPauseMs);
    Send(QStringLiteral("BRS cmd SAUTOx :"), dew::AutoCommand(automatic));
    co_await Pause(kAnswerPauseMs);
    Send(QStringLiteral("BRS cmd SAGGRx :"), dew::AggressivityCommand(aggressivityItem));
    Read(); // what the controller said to the three settings
}

QCoro::Task<> TDewController::Reset() {
    const TTurn turn = co_await Turn();
    Link().WriteText(dew::kFactoryReset);
    co_await Pause(kAnswerPauseMs);
    Read();
    co_await Pause(kResetPauseMs);
}
