#pragma once

#include "quickhandover.h"

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QTimer;

// One practice window for every TEST: the window listens on a local socket in the user's own
// runtime folder, and a later TAMBRIX.EXE hands it its script and options instead of opening a
// second window. The window answers whether it plays the script.
namespace standin {

struct Handover {
    QString script; // absolute path
    bool noTimeSignature = false;
    double startedAt = 0; // when the handing process started (CLOCK_BOOTTIME seconds)
};

// The window's answer to a hand-over.
struct HandoverReply {
    using Outcome = HandoverOutcome;
    Outcome outcome = Outcome::Played;
    int code = 0;
    QString message; // why it was refused, in one line
};

inline constexpr int kMaxHandoverConnections = 16; // open at once; more are closed at once
inline constexpr int kHandoverDeadlineMs = 2000; // a connection's message must come within it

// The socket's path, as handoverSocketPath() gives it.
QString handoverSocket(QString& error, QString* notice = nullptr);

// What is wrong with what lies at the socket's path ("is a regular file", "is a folder",
// "belongs to another user", ...); empty when nothing or a socket of the user's own is there.
QString socketPathFault(const QString& socket);

// Hands the script to the window listening on the socket and waits for its answer (reply, when
// given, receives it). False when no window listens or it does not answer within the time.
bool handOver(const QString& socket, const Handover& handover, int timeoutMs = 1000,
    HandoverReply* reply = nullptr);

class HandoverServer : public QObject {
    Q_OBJECT
public:
    explicit HandoverServer(QObject* parent = nullptr);
    ~HandoverServer() override;

    // Listens on the socket; a socket file left by a window that has ended is replaced. False,
    // with error set, when another window listens there already, something else than a socket
    // lies there or it cannot listen. A server that stops listening later (the system refused a
    // connection) listens again; when it cannot, trouble() says why, and it tries again.
    bool listen(const QString& socket, QString& error);
    // Stops listening and removes the socket file (a window that is closing).
    void close();

signals:
    // A complete hand-over; a receiver that cannot play it fills in the reply.
    void received(const standin::Handover& handover, standin::HandoverReply* reply);
    void trouble(const QString& message);

private:
    void accept();
    void read(QLocalSocket* connection);
    void watch();

    QLocalServer* mServer;
    QTimer* mWatch;
    QString mSocket;
    int mOpen = 0; // connections open
    bool mTroubled = false;
};

} // namespace standin
