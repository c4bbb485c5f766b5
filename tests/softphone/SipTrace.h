#pragma once

#include "control/OrvSIPUserAgentOCXEvents.h"

#include <QString>
#include <QStringList>

// A second event sink on the control under test: it keeps every SIP message the
// control sent and received, so a test sees what went over the wire.
class SipTrace : public OrvSIPUserAgentOCXEvents {
public:
    void OnIncomingDiagnostic(const std::string& msgSip, const std::string&, int) override
    {
        received.append(QString::fromStdString(msgSip));
    }
    void OnOutgoingDiagnostic(const std::string& msgSip, const std::string&, int) override
    {
        sent.append(QString::fromStdString(msgSip));
    }

    // The messages whose first line starts with `start` ("INVITE sip:", "SIP/2.0 200").
    static QStringList Starting(const QStringList& messages, const QString& start)
    {
        QStringList found;
        for (const QString& message : messages) {
            if (message.startsWith(start))
                found.append(message);
        }
        return found;
    }

    QStringList sent;
    QStringList received;
};
