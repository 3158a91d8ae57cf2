// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The network front of a server that anyone on the network can reach (the phone page, and the
// observatory protocols): it owns the listening socket and the connections, and keeps them
// within limits whatever clients do. At most TLimits::maxConnections at a time (new ones beyond
// are closed at once); a connection without a complete request for TLimits::idle, or whose
// answers have waited TLimits::unread, is closed; each read hands the protocol one bounded
// chunk and the rest waits for a later turn of the event loop. When the program runs out of
// descriptors, accepting pauses (the listening socket is no longer watched) and resumes once a
// connection has ended or a light retry finds descriptors free; a connection is kept only when
// it leaves a descriptor free for the rest of the program. Nothing here spins or aborts.
// At most TLimits::perAddress of them come from one address. Limit events are logged once each,
// through the log given at construction, as "<id>: <reason>, connection closed" or "0: ..." for
// the listening side. Lines about single connections come at most TLimits::linesPerSecond a
// second, as a person reads them; the rest are counted and said in one line at the end of the
// second ("0: ... 212 more connections").
#include "Connection.h"

#include <QObject>
#include <map>

class QSocketNotifier;
class QTimer;

namespace net {

class TFront : public QObject {
  public:
    // Gives the protocol side of a connection just accepted; null closes it at once.
    using Accept = std::function<std::shared_ptr<THandler>(const std::shared_ptr<TConnection>&)>;

    TFront(Accept accept, LogSink log, QObject* parent = nullptr);
    ~TFront() override; // closes as close() does

    // For the connections accepted from now on.
    void setLimits(const TLimits& limits) { limits_ = limits; }
    const TLimits& limits() const { return limits_; }

    // Listens on the IPv4 address (host order) and port (0: any free port), backlog 64;
    // connections are numbered from 1 again. Raises Failure "Erreur socket : <system text>
    // (<errno>), avec l'API '<call>'" with the system's own text when the port is refused.
    void listen(quint32 address, quint16 port);
    // Stops listening and ends every connection at once (their handlers are told).
    void close();
    bool isListening() const { return fd_ >= 0; }
    quint16 serverPort() const;
    int connectionCount() const { return int(connections_.size()); }

    // Logs a line about one connection (its number first), within the rate said above. The
    // connections' own limit lines come through here.
    void note(const QString& line);

  private:
    void acceptPending();
    bool acceptOne();
    void keep(int fd, quint32 address);
    bool refusedFrom(quint32 address);
    void sayLeftOut();
    void pauseAccepting(int error);
    void tryResume();
    void ended(int id);

    Accept accept_;
    LogSink log_;
    TLimits limits_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* retry_;
    int spare_ = -1; // held while accepting, given up while paused
    bool paused_ = false;
    int counter_ = 0;
    int refused_ = 0; // new connections closed since the limit was reached
    std::map<int, std::shared_ptr<TConnection>> connections_;
    std::map<int, quint32> from_;        // each connection's address (IPv4, host order)
    std::map<quint32, int> perAddress_;  // connections open from each address
    std::map<quint32, int> refusedFrom_; // new ones closed since that address reached its limit
    // Lines noted in the current second, and those left out of the log since.
    std::chrono::steady_clock::time_point second_;
    int noted_ = 0;
    int leftOut_ = 0;
    QTimer* summary_;
};

} // namespace net
