#pragma once

#include "cti/CtiFileInterface.h"
#include "softphone/frmSoftphone.h"
#include "tests/softphone/ScriptedMessageBoxes.h"
#include "tests/softphone/SipTrace.h"
#include "tests/softphone/TestHome.h"

#include <QString>

#include <memory>

// One trn main window under test, in its own TRN_HOME, with answered message boxes
// and a trace of its SIP traffic.
class SoftphoneHarness {
public:
    SoftphoneHarness();
    ~SoftphoneHarness();

    // TARN.INI for login 1001/secret at `proxy`, G.711 u-law the only codec, the
    // default devices; `replacements` edit it (key line -> new line).
    void WriteSettings(const QString& proxy, const QList<QPair<QString, QString>>& replacements = {});
    // Creates the window and runs its load (start-up, registration).
    frmSoftphone& Load();
    // Creates the window without loading it.
    frmSoftphone& Create();

    frmSoftphone& Window() { return *window_; }
    QString Status() const;
    QString Display() const;
    QString Codec() const;
    // The object name of the button group in front.
    QString GroupInFront() const;
    QString HoldCaption() const;
    void Click(const char* objectName);
    void Dial(const QString& digits);
    // OUTPUT.INI as the CTI client would read it: COMMAND|PARAMETER|MESSAGE.
    QString OutputRecord() const;
    // How long a direct record may take to show in an OUTPUT.INI nobody reads: it
    // waits until the record there has been unread for kUnreadMs.
    static constexpr int kDirectRecordMs = CtiFileInterface::kUnreadMs + 3 * CtiFileInterface::kTickMs;
    QStringList PendingCallIds() const;

    TestHome home;
    ScriptedMessageBoxes boxes;
    SipTrace trace;

private:
    std::unique_ptr<frmSoftphone> window_;
};
