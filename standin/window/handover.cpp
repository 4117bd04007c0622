#include "handover.h"

#include "quickhandover.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

    const char kReply[] = "ok";

} // namespace

QString handoverSocket(QString& error)
{
    std::string problem;
    const std::string socket = handoverSocketPath(problem); // TAMBRIX.EXE's own hand-over's
    if (socket.empty()) {
        error = QString::fromStdString(problem);
        return {};
    }
    return QFile::decodeName(socket.c_str());
}

bool handOver(const QString& socket, const Handover& handover, int timeoutMs)
{
    QLocalSocket client;
    client.connectToServer(socket);
    if (!client.waitForConnected(timeoutMs))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << handover.script << handover.noTimeSignature << handover.startedAt;
    client.write(message);
    if (!client.waitForBytesWritten(timeoutMs))
        return false;
    while (client.bytesAvailable() < qint64(sizeof kReply - 1))
        if (!client.waitForReadyRead(timeoutMs))
            return false;
    return client.readAll() == kReply;
}

HandoverServer::HandoverServer(QObject* parent)
    : QObject(parent)
    , mServer(new QLocalServer(this))
{
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(mServer, &QLocalServer::newConnection, this, &HandoverServer::accept);
}

bool HandoverServer::listen(const QString& socket, QString& error)
{
    if (mServer->listen(socket))
        return true;
    // A window that listens answers; a socket file that nobody answers is a leftover.
    QLocalSocket probe;
    probe.connectToServer(socket);
    if (probe.waitForConnected(500)) {
        error = QStringLiteral("another practice window listens on ") + socket;
        return false;
    }
    QLocalServer::removeServer(socket);
    if (mServer->listen(socket))
        return true;
    error = socket + QStringLiteral(": ") + mServer->errorString();
    return false;
}

void HandoverServer::accept()
{
    while (QLocalSocket* connection = mServer->nextPendingConnection()) {
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
            QDataStream in(connection);
            in.startTransaction();
            Handover handover;
            in >> handover.script >> handover.noTimeSignature >> handover.startedAt;
            if (!in.commitTransaction())
                return; // the rest is still to come
            connection->write(kReply, sizeof kReply - 1);
            connection->flush();
            emit received(handover);
        });
    }
}

} // namespace standin
