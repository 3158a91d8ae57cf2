// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One phone connection: its framing, and the handling of its requests in order, one at a time
// (request line, commands, answers). A move suspends the handling of its own connection only:
// the connection's later requests wait (its reading pauses), other connections are answered
// meanwhile, and the move's page goes out once the move has ended. Requests of a connection
// that has closed are dropped before they run; a move already running ends as it must.
// Memo entries leave through a function given at construction.
#include "Connection.h"
#include "Framing.h"
#include "RemoteFocuser.h"

#include <QCoroTask>
#include <deque>
#include <functional>
#include <memory>

class TClientData : public net::THandler, public std::enable_shared_from_this<TClientData> {
  public:
    using LogSink = std::function<void(const QString& entry)>;

    // Requests answered in one turn of the event loop before the others get theirs.
    static constexpr int kRequestsPerTurn = 8;

    TClientData(std::shared_ptr<net::TConnection> socket, TRemoteFocuser& focuser, LogSink log);

    const int Id;                                   // the connection's number
    const std::shared_ptr<net::TConnection> Socket; // where answers go

    // The connection's read: logs "%d Read: %s", then HandleReceived.
    void received(const QByteArray& bytes) override;
    // A socket error: logs "%d: Error on %s".
    void failed(QAbstractSocket::SocketError error, bool sending) override;

    // Frames one read's bytes and handles every request they complete, in order.
    void HandleReceived(const QByteArray& text);
    QCoro::Task<> ExecuteCommand(QByteArray path);
    void SendPage(const QByteArray& message);
    void SendNotImplemented();

  private:
    QCoro::Task<> Run(std::shared_ptr<TClientData> self);
    QCoro::Task<> HandleRequest(TRequest request);
    void Refuse(const char* answer, const QString& why);

    TRemoteFocuser& focuser_;
    LogSink log_;
    TFraming framing_;
    std::deque<TFramed> waiting_; // framed, not handled yet
    bool running_ = false;
};
