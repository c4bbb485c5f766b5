#include "tests/softphone/Peers.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTimer>

#ifndef ORVSIP_PEERS_SCRIPT
#error "ORVSIP_PEERS_SCRIPT names peers.py"
#endif

Peers::Peers(const QJsonObject& users, const QString& baresipUser, const QString& baresipPassword,
             const QString& answerMode, const QJsonObject& alsoAccounts, bool overTls,
             const QString& mediaEncryption)
{
    const QJsonObject setup{{"users", users},
                            {"tls", overTls},
                            {"baresip", QJsonObject{{"user", baresipUser},
                                                    {"password", baresipPassword},
                                                    {"answermode", answerMode},
                                                    {"mediaenc", mediaEncryption},
                                                    {"also", alsoAccounts}}}};
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("python3"),
                   {QStringLiteral(ORVSIP_PEERS_SCRIPT),
                    QString::fromUtf8(QJsonDocument(setup).toJson(QJsonDocument::Compact))});
    const QJsonObject ready = ReadReply(40000);
    kamailioPort_ = ready.value("kamailio_port").toInt();
    tlsPort_ = ready.value("tls_port").toInt();
    caFile_ = ready.value("ca_file").toString();
}

Peers::~Peers()
{
    process_.closeWriteChannel();
    if (!process_.waitForFinished(20000))
        process_.kill();
    process_.waitForFinished();
}

QJsonObject Peers::ReadReply(int timeoutMs)
{
    // Wait for one whole line, running the event loop meanwhile.
    QDeadlineTimer deadline(timeoutMs);
    while (!buffer_.contains('\n') && !deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
        QEventLoop loop;
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
        QObject::connect(&process_, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(std::min<qint64>(deadline.remainingTime(), 200), &loop, &QEventLoop::quit);
        loop.exec();
        buffer_ += process_.readAllStandardOutput();
    }
    buffer_ += process_.readAllStandardOutput();
    const qsizetype end = buffer_.indexOf('\n');
    if (end < 0)
        return {};
    const QByteArray line = buffer_.left(end);
    buffer_.remove(0, end + 1);
    return QJsonDocument::fromJson(line).object();
}

QJsonObject Peers::Request(const QJsonObject& request, int timeoutMs)
{
    process_.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    return ReadReply(timeoutMs);
}

QJsonObject Peers::Baresip(const QString& command, const QString& params)
{
    return Request({{"op", "baresip"}, {"command", command}, {"params", params}}, 15000)
        .value("response")
        .toObject();
}

QJsonObject Peers::WaitBaresipEvent(const QString& type, int timeoutSeconds)
{
    return Request({{"op", "event"}, {"type", type}, {"timeout", timeoutSeconds}}, timeoutSeconds * 1000 + 5000)
        .value("event")
        .toObject();
}

bool Peers::IsRegistered(const QString& user)
{
    return Request({{"op", "registered"}, {"user", user}}, 10000).value("registered").toBool();
}

QString Peers::Logs()
{
    const QJsonObject logs = Request({{"op", "log"}}, 10000);
    return QStringLiteral("--- kamailio\n") + logs.value("kamailio").toString() + QStringLiteral("\n--- baresip\n") +
           logs.value("baresip").toString();
}
