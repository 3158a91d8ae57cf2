// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Alpaca server of the run: the accessories as ASCOM devices over their own operations,
// the service that answers for them, its sockets and its window. Made at start-up after the
// windows, and ended after the links closed, so that no device call outlives what it uses.
#include <memory>

class QWidget;
class TAlpacaConditions;
class TAlpacaFocuser;
class TAlpacaServer;
class TAlpacaService;
class TAlpacaSwitches;
class TFormAlpaca;
class TFormMain;

class TAlpacaHost {
  public:
    explicit TAlpacaHost(TFormMain& main);
    ~TAlpacaHost();

    TAlpacaServer& Server() { return *server_; }
    TFormAlpaca& Form() { return *form_; }

  private:
    std::unique_ptr<TAlpacaFocuser> focuser1_, focuser2_;
    std::unique_ptr<TAlpacaConditions> conditions_;
    std::unique_ptr<TAlpacaSwitches> switches_;
    std::unique_ptr<TAlpacaService> service_;
    std::unique_ptr<TAlpacaServer> server_;
    std::unique_ptr<TFormAlpaca> form_;
};

// The run's Alpaca server, between CreateForms and DestroyForms.
extern TAlpacaHost* AlpacaHost;
