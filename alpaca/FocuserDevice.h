// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A Quillo focuser as an ASCOM IFocuserV4 (Platform 7): readings from the focuser's polling,
// moves and compensation through its own exchanges, MaxStep from the maximum position the
// focuser read at connection (while the server serves, the settings are read as soon as the
// focuser is offered). Move returns as soon as the move is asked of the focuser; IsMoving stays
// true until it ends, and Position meanwhile answers at once with the last position known.
// Moves asked while others run wait their turn, in the order asked. As IFocuserV3 wants, a move
// asked while temperature compensation runs is made: the compensation pauses for it (the Quillo
// moves by itself while it runs) and resumes once the moves asked have ended; TempComp reads
// true all along.
#include "AlpacaDevice.h"

#include "Moves.h"

#include <QObject>
#include <optional>

class TFocuser;

class TAlpacaFocuser : public QObject, public TAlpacaDevice {
  public:
    // number: 0 for focuser 1 ("Quillo 1"), 1 for focuser 2.
    TAlpacaFocuser(TFocuser& focuser, int number, QObject* parent = nullptr);

    QString DeviceType() const override { return QStringLiteral("Focuser"); }
    int DeviceNumber() const override { return number_; }
    QString DeviceName() const override;
    QString Description() const override;
    int InterfaceVersion() const override { return 4; }
    bool Connected() const override;
    QList<TAlpacaMember> Members() const override;
    QCoro::Task<TAlpacaReply> Call(TAlpacaCall call) override;
    QList<std::pair<QString, QString>> State() const override;
    // IsMoving, Position and Temperature as known (the latter two once read), without asking.
    QJsonArray DeviceState() const override;

    // A move asked over Alpaca that has not ended yet, queued or running.
    bool MovePending() const { return movesPending_ > 0; }
    // The server listens (or not): clients will ask MaxStep, so the settings are read once the
    // focuser is offered.
    void SetServing(bool serving);

  private:
    QCoro::Task<TAlpacaReply> MaxStep();
    QCoro::Task<TAlpacaReply> SetTempComp(bool on);
    bool TempCompOn() const;
    QCoro::Task<TAlpacaReply> Move(int target, QString client);
    QCoro::Task<> RunMove(focuser::TMoveAsk ask, QString client);
    // Waits, within a bound, for more than readings position readings since the link opened;
    // true when they came.
    QCoro::Task<bool> PositionRead(int readings);
    TAlpacaReply NoPosition() const;

    void Learn();

    TFocuser& focuser_;
    const int number_;
    bool serving_ = false;
    int movesPending_ = 0;
    // The compensation paused for the moves pending: it resumes when the last one ends.
    bool resumeTempComp_ = false;
    int positionReadings_ = 0; // since the link opened
};
