// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The accessories as the INDI server serves them: each keeps its device's model while Skyvarn
// has the device connected and the server runs, feeds it the device's readings, and runs the
// operations that clients' commands ask for as the device's own exchanges.
#include "DewModel.h"
#include "FocuserModel.h"

#include <QCoroTask>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <memory>

class TDevice;
class TDewController;
class TFocuser;

namespace indi {

class TIndiServer;

class TServed : public QObject {
  public:
    TServed(TIndiServer& server, TDevice& device, QString name);
    ~TServed() override;

    const QString& Name() const { return name_; }
    // Null while the device is not defined.
    const TDeviceModel* Model() const { return model_.get(); }

    // The server started: a connected device is defined. Stopped: forgotten.
    void Start();
    void Stop();
    // client: the asking client's key; its waiting requests are named by it.
    virtual void Handle(const Command& command, const QString& client);
    // The client has gone: what it asked and still waits is dropped.
    void ClientGone(const QString& client);
    // The names of the device's vectors, whether it is defined now or not.
    virtual QSet<QString> Properties() const;

  protected:
    // The device was connected again: what was learnt of it before is forgotten.
    virtual void Reconnected() {}
    // Builds the model (it may read from the device first) and hands it to Defined.
    virtual void Define();
    void Defined(std::unique_ptr<TDeviceModel> model);
    void Send(const Reply& reply);
    void Send(const QStringList& changed);
    bool Serving() const;

    TIndiServer& server_;
    TDevice& device_;
    const QString name_;
    std::unique_ptr<TDeviceModel> model_;
    // Moves on at every definition and deletion: an exchange that ends after either of them
    // reports to nobody.
    int generation_ = 0;

  private:
    void Undefine();
    bool started_ = false;
};

class TServedFocuser : public TServed {
  public:
    TServedFocuser(TIndiServer& server, TFocuser& focuser, QString name);
    void Handle(const Command& command, const QString& client) override;
    QSet<QString> Properties() const override;

  protected:
    void Define() override;

  private:
    TFocuserModel* Focuser() { return static_cast<TFocuserModel*>(model_.get()); }
    FocuserReadings Readings() const;
    QCoro::Task<> ReadAndDefine(int generation);
    QCoro::Task<> Move(int generation, TFocuserModel::Action move, QString client);
    QCoro::Task<> SetTempComp(int generation, bool on);

    TFocuser& focuser_;
    QTimer moving_; // while a move runs: its positions go out again
};

class TServedDew : public TServed {
  public:
    TServedDew(TIndiServer& server, TDewController& dew, QString name);
    void Handle(const Command& command, const QString& client) override;
    QSet<QString> Properties() const override;

  protected:
    void Reconnected() override { framed_ = false; }
    void Define() override;

  private:
    TDewModel* Dew() { return static_cast<TDewModel*>(model_.get()); }
    DewReadings Readings() const;
    QCoro::Task<> Run(int generation, TDewModel::Action action);
    // With no frame for the update period (nobody polls the controller), one is asked.
    void AwaitFrames();

    TDewController& dew_;
    bool framed_ = false;
    // Kept across the controller's connections while the server runs.
    WeatherSettings weather_;
    QTimer quiet_;
};

} // namespace indi
