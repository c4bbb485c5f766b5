#pragma once

#include "tests/platform/TestPorts.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <memory>

// A CTI socket client for the tests, over TCP or the Unix-domain socket, on the test's
// own event loop: it keeps every line trn sent it.
class SocketClient {
public:
    explicit SocketClient(quint16 port) : tcp_(std::make_unique<QTcpSocket>())
    {
        QObject::connect(tcp_.get(), &QTcpSocket::readyRead, [this] { Read(*tcp_); });
        tcp_->connectToHost(QStringLiteral("127.0.0.1"), port);
        tcp_->waitForConnected(5000);
    }
    explicit SocketClient(const QString& path) : local_(std::make_unique<QLocalSocket>())
    {
        QObject::connect(local_.get(), &QLocalSocket::readyRead, [this] { Read(*local_); });
        local_->connectToServer(path);
        local_->waitForConnected(5000);
    }

    bool IsConnected() const
    {
        return tcp_ ? tcp_->state() == QAbstractSocket::ConnectedState
                    : local_->state() == QLocalSocket::ConnectedState;
    }
    void Send(const QByteArray& bytes)
    {
        if (tcp_) {
            tcp_->write(bytes);
            tcp_->flush();
        } else {
            local_->write(bytes);
            local_->flush();
        }
    }
    void SendLine(const QString& line) { Send(line.toUtf8() + '\n'); }
    QTcpSocket& Socket() { return *tcp_; }

    // Runs the event loop until a line equal to `line` (or starting with it, when it
    // ends in "*"; a leading "*" stands for one word) has arrived after the first
    // `from` lines; its index, or -1.
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
    static bool Matches(QString got, QString wanted)
    {
        if (wanted.startsWith(QStringLiteral("* "))) {
            got = got.section(' ', 1);
            wanted = wanted.mid(2);
        }
        return wanted.endsWith('*') ? got.startsWith(wanted.chopped(1)) : got == wanted;
    }
    void Read(QIODevice& socket)
    {
        buffer_ += socket.readAll();
        qsizetype end;
        while ((end = buffer_.indexOf('\n')) >= 0) {
            lines.append(QString::fromUtf8(buffer_.left(end)));
            arrivals.append(NowMs());
            buffer_.remove(0, end + 1);
        }
    }

    std::unique_ptr<QTcpSocket> tcp_;
    std::unique_ptr<QLocalSocket> local_;
    QByteArray buffer_;
    int cursor_ = 0;
};
