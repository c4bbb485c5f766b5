#pragma once

#include "tests/platform/TestPorts.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

// A CTI socket client for the tests, on the test's own event loop: it keeps every
// line trn sent it.
class SocketClient {
public:
    explicit SocketClient(quint16 port)
    {
        QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { Read(); });
        socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
        socket_.waitForConnected(5000);
    }

    bool IsConnected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void Send(const QByteArray& bytes)
    {
        socket_.write(bytes);
        socket_.flush();
    }
    void SendLine(const QString& line) { Send(line.toUtf8() + '\n'); }
    QTcpSocket& Socket() { return socket_; }

    // Runs the event loop until a line equal to `line` (or starting with it, when it
    // ends in "*") has arrived after the first `from` lines; its index, or -1.
    int WaitLine(const QString& line, int from = 0, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (true) {
            for (int i = from; i < lines.size(); ++i) {
                if (Matches(lines[i], line))
                    return i;
            }
            if (deadline.hasExpired())
                return -1;
            QEventLoop loop;
            QTimer::singleShot(5, &loop, &QEventLoop::quit);
            loop.exec();
        }
    }
    // Waits for the next line matching `line` after those seen so far by this call.
    QString Next(const QString& line, int timeoutMs = 10000)
    {
        const int index = WaitLine(line, cursor_, timeoutMs);
        if (index < 0)
            return {};
        cursor_ = index + 1;
        return lines[index];
    }
    // Whether the snapshot sent at connection time has arrived in full.
    bool WaitSnapshot() { return !Next(QStringLiteral("SNAPSHOT\tEND")).isEmpty(); }

    QStringList lines;
    // When each line arrived, in steady-clock milliseconds (NowMs).
    QList<qint64> arrivals;

    static qint64 NowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    // A port nobody listens on at the moment.
    static quint16 FreePort() { return static_cast<quint16>(TestPorts::Free()); }

private:
    static bool Matches(const QString& got, const QString& wanted)
    {
        return wanted.endsWith('*') ? got.startsWith(wanted.chopped(1)) : got == wanted;
    }
    void Read()
    {
        buffer_ += socket_.readAll();
        qsizetype end;
        while ((end = buffer_.indexOf('\n')) >= 0) {
            lines.append(QString::fromUtf8(buffer_.left(end)));
            arrivals.append(NowMs());
            buffer_.remove(0, end + 1);
        }
    }

    QTcpSocket socket_;
    QByteArray buffer_;
    int cursor_ = 0;
};
