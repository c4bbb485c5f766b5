#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>

// kamailio and baresip on loopback, started through peers.py with the interop tests'
// set-ups. While a request waits for its answer the Qt event loop keeps running, so
// the softphone under test goes on working.
class Peers {
public:
    // users: login -> password at kamailio; baresip registers as baresipUser, and as
    // each login of alsoAccounts (login -> password), which answer by themselves. With
    // overTls kamailio takes TLS too (a certificate of the test's own CA, CaFile()),
    // and baresip registers over it; with mediaEncryption baresip's account asks for
    // it (its srtp module: "srtp", "srtp-mand").
    Peers(const QJsonObject& users, const QString& baresipUser, const QString& baresipPassword,
          const QString& answerMode, const QJsonObject& alsoAccounts = {}, bool overTls = false,
          const QString& mediaEncryption = {});
    ~Peers();
    Peers(const Peers&) = delete;
    Peers& operator=(const Peers&) = delete;

    bool IsReady() const { return kamailioPort_ > 0; }
    int KamailioPort() const { return kamailioPort_; }
    QString Proxy() const { return QStringLiteral("127.0.0.1:%1").arg(kamailioPort_); }
    QString TlsProxy() const { return QStringLiteral("127.0.0.1:%1;transport=tls").arg(tlsPort_); }
    const QString& CaFile() const { return caFile_; }

    QJsonObject Baresip(const QString& command, const QString& params = QString());
    // The next baresip event of that type (its JSON), or an empty object after the time.
    QJsonObject WaitBaresipEvent(const QString& type, int timeoutSeconds = 15);
    bool IsRegistered(const QString& user);
    QString Logs();

private:
    QJsonObject Request(const QJsonObject& request, int timeoutMs);
    QJsonObject ReadReply(int timeoutMs);

    QProcess process_;
    QByteArray buffer_;
    int kamailioPort_ = 0;
    int tlsPort_ = 0;
    QString caFile_;
};
