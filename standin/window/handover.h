#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One practice window for every TEST: the window listens on a local socket in the user's own
// runtime folder, and a later TAMBRIX.EXE hands it its script and options instead of opening a
// second window.
namespace standin {

struct Handover {
    QString script; // absolute path
    bool noTimeSignature = false;
    double startedAt = 0; // when the handing process started (CLOCK_BOOTTIME seconds)
};

// The socket's path in the user's runtime folder (the lock's, see userRuntimeFolder()); empty,
// with error set, when there is no such folder.
QString handoverSocket(QString& error);

// Hands the script to the window listening on the socket and waits for it to accept. False when
// no window listens (or it does not answer within the time).
bool handOver(const QString& socket, const Handover& handover, int timeoutMs = 1000);

class HandoverServer : public QObject {
    Q_OBJECT
public:
    explicit HandoverServer(QObject* parent = nullptr);

    // Listens on the socket; a socket file left by a window that has ended is replaced. False,
    // with error set, when another window listens there already or it cannot listen.
    bool listen(const QString& socket, QString& error);

signals:
    void received(const standin::Handover& handover);

private:
    void accept();
    QLocalServer* mServer;
};

} // namespace standin
