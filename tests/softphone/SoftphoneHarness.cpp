#include "tests/softphone/SoftphoneHarness.h"

#include "platform/IniFile.h"
#include "tests/softphone/Child.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>

namespace {

const char* const kSettings = "[SIP]\nSIPLogin=1001\nSIPPass=secret\nSIPProxy=PROXY\nSIPNome=\nSIPPort=5060\n"
                              "SIPOutboundProxy=\nStunServer=\n\n[AUDIO]\nAudioFoneDevice=Default Device\n"
                              "AudioMicDevice=Default Device\nAudioFoneDeviceIndex=0\nAudioMicDeviceIndex=0\n"
                              "EchoCancel=0\nAEC=0\nMicBooster=0\n\n[GENERAL]\nAwaysOnTop=0\n"
                              "ConfirmBeforeClose=0\nStarupOnSystray=0\nStartUpWithWindows=0\n\n[CODECS]\n"
                              "CodecG711u=1\nCodecG729=0\nCodecG711a=0\nCodecGSM=0\nCodecILBC=0\n\n[CTI]\n"
                              "EnableCTITCP=False\nEnableCTIXML=True\nEnableCTI=1\nTCPPort=2500\n";

} // namespace

SoftphoneHarness::SoftphoneHarness() = default;

SoftphoneHarness::~SoftphoneHarness()
{
    if (window_)
        window_->Control().UnInitialize();
}

void SoftphoneHarness::WriteSettings(const QString& proxy, const QList<QPair<QString, QString>>& replacements)
{
    QString text = QString::fromLatin1(kSettings).replace(QStringLiteral("PROXY"), proxy);
    for (const auto& [from, to] : replacements)
        text.replace(from, to);
    home.WriteFile(QStringLiteral("TARN.INI"), text);
}

frmSoftphone& SoftphoneHarness::Create()
{
    window_ = std::make_unique<frmSoftphone>();
    window_->Control().Advise(&trace);
    return *window_;
}

frmSoftphone& SoftphoneHarness::Load()
{
    Create();
    window_->FormLoad();
    return *window_;
}

QString SoftphoneHarness::Status() const
{
    return Child<QLabel>(*window_, "lblDisplayStatus")->text();
}

QString SoftphoneHarness::Display() const
{
    return Child<QLabel>(*window_, "lblDisplay1")->text();
}

QString SoftphoneHarness::Codec() const
{
    return Child<QLabel>(*window_, "lblDisplayCodec")->text();
}

QString SoftphoneHarness::GroupInFront() const
{
    return Child<QStackedWidget>(*window_, "frameButtonGroups")->currentWidget()->objectName();
}

QString SoftphoneHarness::HoldCaption() const
{
    return Child<QPushButton>(*window_, "cmdHold")->text();
}

void SoftphoneHarness::Click(const char* objectName)
{
    Child<QPushButton>(*window_, objectName)->click();
}

void SoftphoneHarness::Dial(const QString& digits)
{
    const QString keys = QStringLiteral("0123456789*#");
    for (const QChar digit : digits) {
        const QByteArray name = "cmdKp" + QByteArray::number(keys.indexOf(digit));
        Click(name.constData());
    }
}

QString SoftphoneHarness::OutputRecord() const
{
    const IniFile output(home.File(QStringLiteral("OUTPUT.INI")).toStdString());
    return QString::fromStdString(output.Read("ACTION", "COMMAND") + "|" + output.Read("ACTION", "PARAMETER") + "|" +
                                  output.Read("ACTION", "MESSAGE"));
}

QStringList SoftphoneHarness::PendingCallIds() const
{
    QStringList ids;
    const QListWidget* list = Child<QListWidget>(*window_, "ListIncomingCallIds");
    for (int i = 0; i < list->count(); ++i)
        ids << list->item(i)->text();
    return ids;
}
