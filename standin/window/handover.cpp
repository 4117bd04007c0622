#include "handover.h"

#include "quickhandover.h"

#include <QDataStream>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

    QByteArray encodeReply(const HandoverReply& reply)
    {
        return QByteArray::fromStdString(
            encodeHandoverAnswer({ reply.outcome, reply.code, reply.message.toStdString() }));
    }

    // A QString's declared length (its first four bytes) that no message of ours comes near.
    bool declaresTooMuch(const QByteArray& message)
    {
        if (message.size() < 4)
            return false;
        const quint32 bytes = qFromBigEndian<quint32>(message.constData());
        return bytes != 0xffffffffu && bytes > kMaxHandoverBytes;
    }

} // namespace

QString handoverSocket(QString& error, QString* notice)
{
    std::string problem, said;
    const std::string socket = handoverSocketPath(problem, &said); // TAMBRIX.EXE's own
    if (socket.empty()) {
        error = QString::fromStdString(problem);
        return {};
    }
    if (notice)
        *notice = QString::fromStdString(said);
    return QFile::decodeName(socket.c_str());
}

QString socketPathFault(const QString& socket)
{
    struct stat st { };
    if (::lstat(QFile::encodeName(socket).constData(), &st) != 0)
        return errno == ENOENT ? QString() : QString::fromUtf8(std::strerror(errno));
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("is a symbolic link");
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("is a folder");
    if (S_ISREG(st.st_mode))
        return QStringLiteral("is a regular file");
    if (!S_ISSOCK(st.st_mode))
        return QStringLiteral("is not a socket");
    if (st.st_uid != ::geteuid())
        return QStringLiteral("belongs to another user");
    return {};
}

bool handOver(const QString& socket, const Handover& handover, int timeoutMs, HandoverReply* reply)
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
    // The answer comes once the window has read the script (a long one takes a moment).
    std::string answer;
    while (answer.size() <= kMaxHandoverBytes + 12) {
        HandoverAnswer read;
        switch (decodeHandoverAnswer(answer, read)) {
        case AnswerRead::Complete:
            if (reply)
                *reply = { read.outcome, read.code, QString::fromStdString(read.message) };
            return true;
        case AnswerRead::Malformed:
            return false;
        case AnswerRead::Incomplete:
            break;
        }
        if (!client.bytesAvailable() && !client.waitForReadyRead(timeoutMs * 5))
            return false;
        answer += client.read(qint64(kMaxHandoverBytes + 13 - answer.size())).toStdString();
    }
    return false;
}

HandoverServer::HandoverServer(QObject* parent)
    : QObject(parent)
    , mServer(new QLocalServer(this))
    , mWatch(new QTimer(this))
{
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(mServer, &QLocalServer::newConnection, this, &HandoverServer::accept);
    mWatch->setInterval(1000);
    connect(mWatch, &QTimer::timeout, this, &HandoverServer::watch);
}

HandoverServer::~HandoverServer()
{
    close();
}

bool HandoverServer::listen(const QString& socket, QString& error)
{
    if (const QString fault = socketPathFault(socket); !fault.isEmpty()) {
        error = socket + u' ' + fault + QStringLiteral("; remove it");
        return false;
    }
    if (!mServer->listen(socket)) {
        // A window that listens answers; a socket file that nobody answers is a leftover.
        QLocalSocket probe;
        probe.connectToServer(socket);
        if (probe.waitForConnected(500)) {
            error = QStringLiteral("another practice window listens on ") + socket;
            return false;
        }
        QLocalServer::removeServer(socket);
        if (!mServer->listen(socket)) {
            error = socket + QStringLiteral(": ") + mServer->errorString();
            return false;
        }
    }
    mSocket = socket;
    mWatch->start();
    return true;
}

void HandoverServer::close()
{
    mWatch->stop();
    mSocket.clear();
    mServer->close(); // removes the socket file
}

void HandoverServer::watch()
{
    // The server closes itself when the system refuses it a connection (no file descriptor
    // left, say): it listens again, or says why it cannot.
    if (mSocket.isEmpty() || mServer->isListening())
        return;
    const QString socket = mSocket;
    QString error;
    if (socketPathFault(socket).isEmpty())
        QLocalServer::removeServer(socket);
    if (mServer->listen(socket)) {
        if (mTroubled)
            emit trouble(QStringLiteral("the hand-over listens again on ") + socket);
        mTroubled = false;
        return;
    }
    if (!mTroubled)
        emit trouble(QStringLiteral("the hand-over has stopped (%1: %2); a later TEST opens a "
                                    "window of its own until it listens again")
                         .arg(socket, mServer->errorString()));
    mTroubled = true;
}

void HandoverServer::accept()
{
    while (QLocalSocket* connection = mServer->nextPendingConnection()) {
        // Connections that send nothing hold a file descriptor each: a few at most, the oldest
        // of those that have sent nothing yet closed first, and none for longer than the
        // deadline.
        QList<QLocalSocket*> open;
        for (QLocalSocket* other : findChildren<QLocalSocket*>(Qt::FindDirectChildrenOnly))
            if (other->state() != QLocalSocket::UnconnectedState)
                open.append(other);
        std::stable_partition(open.begin(), open.end(), [](QLocalSocket* other) {
            return other->bytesAvailable() == 0 && other->property("message").isNull();
        });
        for (qsizetype i = 0; i + kMaxHandoverConnections <= open.size(); ++i) {
            open[i]->abort();
            open[i]->deleteLater();
        }
        connection->setParent(this); // children in the order of their coming
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        QTimer::singleShot(kHandoverDeadlineMs, connection, [connection] {
            connection->abort();
            connection->deleteLater();
        });
        connect(
            connection, &QLocalSocket::readyRead, this, [this, connection] { read(connection); });
    }
}

void HandoverServer::read(QLocalSocket* connection)
{
    QByteArray message = connection->property("message").toByteArray();
    const qsizetype most = qsizetype(kMaxHandoverBytes);
    message += connection->read(most + 1 - message.size());
    connection->setProperty("message", message);
    if (message.size() > most || declaresTooMuch(message)) {
        connection->write(encodeReply({ HandoverReply::Outcome::Refused, 2,
            QStringLiteral("a hand-over is at most %1 bytes").arg(kMaxHandoverBytes) }));
        connection->flush();
        connection->abort();
        connection->deleteLater();
        return;
    }
    QDataStream in(message);
    Handover handover;
    in >> handover.script >> handover.noTimeSignature >> handover.startedAt;
    if (in.status() == QDataStream::ReadPastEnd)
        return; // the rest is still to come
    if (in.status() != QDataStream::Ok) {
        connection->abort();
        connection->deleteLater();
        return;
    }
    connection->setProperty("message", QVariant());
    HandoverReply reply;
    const QPointer<QLocalSocket> guard(connection);
    emit received(handover, &reply);
    // The connection may have gone meanwhile.
    if (guard && connection->state() == QLocalSocket::ConnectedState) {
        connection->write(encodeReply(reply));
        connection->flush();
        connection->disconnectFromServer();
    }
}

} // namespace standin
