#pragma once
// One phone connection: the text it sent that is not consumed yet, and the handling of its
// requests (framing, request line, commands, answers). No sockets here: answers leave through
// a function given at construction, memo entries through another.
#include "RemoteFocuser.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class TClientData {
  public:
    // Hands one whole answer to the connection; false when the connection takes no more, which
    // ends the handling (the connection is then to be closed).
    using Sender = std::function<bool(const QByteArray& bytes)>;
    using LogSink = std::function<void(const QString& entry)>;

    // Unconsumed text a connection may leave waiting; past it the connection is closed, so a
    // client that never ends its request cannot grow it without end.
    static constexpr qsizetype kMaxPending = 8 * 1024;

    TClientData(int id, TRemoteFocuser& focuser, Sender send, LogSink log);

    int Id;
    QList<QByteArray> Lines; // received text not yet consumed, line ends not kept

    // Takes one read's bytes and answers every request completed by its empty line, in order.
    // False when the connection is to be closed.
    bool HandleReceived(const QByteArray& text);
    bool ExecuteCommand(const QByteArray& path);
    bool SendPage(const QByteArray& message);
    bool SendNotImplemented();

  private:
    bool HandleRequest(const QByteArray& line);
    qsizetype PendingBytes() const;

    TRemoteFocuser& focuser_;
    Sender send_;
    LogSink log_;
    bool endedWithCR_ = false; // the last read ended with a CR whose LF may open the next one
};
