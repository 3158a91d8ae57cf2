// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One accepted TCP connection of a server, and the protocol side that handles it. The front
// (Front.h) owns the socket and its limits; the protocol only sees bounded chunks of what the
// client sent, and answers through send(). Everything runs on the thread of the front (the GUI
// thread); nothing here is locked.
#include "LogSink.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QTcpSocket;
class QTimer;

namespace net {

// What a server allows each of its connections; the defaults are the ones every server uses.
struct TLimits {
    int maxConnections = 64; // open at a time; new ones beyond are closed at once
    // Open at a time from one address (a quarter of maxConnections), so that one host cannot
    // take every slot; its new ones beyond are closed at once.
    int perAddress = 16;
    // Without a complete request (see TConnection::requestCompleted) while the front reads
    // for the protocol; zero: no limit.
    std::chrono::milliseconds idle{15000};
    // False: the idle limit holds only until the first complete request, for protocols whose
    // clients sit silent for hours once they have spoken.
    bool idleAfterFirstRequest = true;
    // Answers waiting for a client that does not read them.
    std::chrono::milliseconds unread{30000};
    qint64 readChunk = 8 * 1024; // given to the protocol per read, at most
    // Answers waiting beyond this stop the reading of the connection until the client takes
    // them; beyond maxUnsent the connection is closed.
    qint64 pauseUnsent = 64 * 1024;
    qint64 maxUnsent = 1024 * 1024;
    // Lines about single connections logged per second (see TFront::note); zero: every one,
    // for a log that keeps its own bound.
    int linesPerSecond = 0;
};

// The protocol side of one connection, given by the server for each accepted connection.
class THandler {
  public:
    virtual ~THandler() = default;
    // A chunk of at most TLimits::readChunk bytes, in order. Not called while reading is
    // paused or after the connection has ended.
    virtual void received(const QByteArray& bytes) = 0;
    // The connection has ended, whichever side ended it; called once, and nothing after it.
    virtual void closed() {}
    // A socket error other than the client closing; sending: answers were still waiting.
    virtual void failed(QAbstractSocket::SocketError error, bool sending) {
        (void)error;
        (void)sending;
    }
};

class TConnection : public std::enable_shared_from_this<TConnection> {
  public:
    TConnection(int id, QTcpSocket* socket, const TLimits& limits, LogSink log,
                std::function<void()> ended);
    ~TConnection();
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    // 1 for the first connection after the server starts listening, then 2, 3, ...
    int id() const { return id_; }
    // False once the connection has ended, close() was called or the client has closed its
    // side (even before the event loop has seen it); sending then does nothing.
    bool isOpen() const;

    void send(const QByteArray& bytes);
    // The client completed a request: its idle time starts again.
    void requestCompleted();
    // While paused, nothing is handed to the protocol (the client's bytes wait in the system)
    // and the idle time does not run: the server, not the client, holds the connection.
    void pauseReading();
    void resumeReading();
    // Ends the connection once its answers are sent; a reason is logged as
    // "<id>: <reason>, connection closed".
    void close(const QString& reason = {});

    // For the front.
    void start(std::shared_ptr<THandler> handler);
    void abort(const QString& reason = {}); // at once, answers dropped

  private:
    void readSoon();
    void readChunk();
    void written();
    void idleExpired();
    void end();
    bool reading() const;
    bool idleRuns() const; // the idle limit holds now

    const int id_;
    QTcpSocket* socket_; // deleted later by the connection when it ends
    QTimer* idle_;       // children of the socket
    QTimer* unread_;
    const TLimits limits_;
    LogSink log_;
    std::function<void()> ended_;
    std::shared_ptr<THandler> handler_; // dropped when the connection ends
    bool open_ = true;
    bool over_ = false; // ended: the handler was told
    bool paused_ = false;
    bool readQueued_ = false;
    bool spoken_ = false; // a complete request has come
};

} // namespace net
