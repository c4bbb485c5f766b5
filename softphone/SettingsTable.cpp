#include "softphone/SettingsTable.h"

const std::vector<SettingsTable::Row>& SettingsTable::Rows()
{
    using K = Kind;
    static const std::vector<Row> rows = {
        {"SIP", "SIPLogin", K::Text, "txtConfigSIPLogin", "Login", SipPage, ""},
        {"SIP", "SIPPass", K::Secret, "txtConfigSIPPass", "Password", SipPage, ""},
        {"SIP", "SIPProxy", K::Text, "txtConfigSIPProxy", "Sip Proxy", SipPage, ""},
        {"SIP", "SIPNome", K::Text, "txtConfigSIPNome", "Name", SipPage, ""},
        {"SIP", "SIPPort", K::Text, "txtConfigSipPort", "Sip Port", SipPage, "5060"},
        {"SIP", "SIPOutboundProxy", K::Text, "txtConfigSIPOutboundProxy", "OutBound Proxy", SipPage, ""},
        {"SIP", "CAFile", K::Text, "txtConfigCAFile", "CA file", SipPage, ""},
        {"SIP", "MediaEncryption", K::Choice, "cbxConfigMediaEncryption", "Call encryption", SipPage, "0",
         "Off|Offered|Required"},
        {"SIP", "StunServer", K::Text, "txtConfigStunServer", "STUN server", SipPage, ""},
        {"AUDIO", "AudioFoneDevice", K::DeviceName, "cbxConfigFoneDevice", "Output", AudioPage, ""},
        {"AUDIO", "AudioMicDevice", K::DeviceName, "cbxConfigMicDevice", "Input", AudioPage, ""},
        {"AUDIO", "AudioFoneDeviceIndex", K::Position, "cbxConfigFoneDevice", "Output", AudioPage, "-1"},
        {"AUDIO", "AudioMicDeviceIndex", K::Position, "cbxConfigMicDevice", "Input", AudioPage, "-1"},
        {"GENERAL", "AwaysOnTop", K::Check, "chkAlwaysOnTop", "Always on top", GeneralPage, "0"},
        {"GENERAL", "ConfirmBeforeClose", K::Check, "chkConfirmBeforeClose", "Confirm before closing application",
         GeneralPage, "0"},
        {"GENERAL", "StarupOnSystray", K::Check, "chkStartupOnSystray", "Startup on systray", GeneralPage, "0"},
        {"GENERAL", "StartUpWithWindows", K::Check, "chkStartUpWithSystem", "Launch at login", GeneralPage, "0"},
        {"AUDIO", "EchoCancel", K::Check, "chkAudioEchoCan", "Echo Cancelation", AudioPage, "0"},
        {"AUDIO", "AEC", K::Check, "chkAudioAEC", "AEC", AudioPage, "0"},
        {"AUDIO", "MicBooster", K::Check, "chkAudioMicBooster", "Mic Booster", AudioPage, "0"},
        {"CODECS", "CodecG711u", K::Check, "chkCodecG711u", "G-711 U-LAW", AudioPage, "0"},
        {"CODECS", "CodecG729", K::Check, "chkCodecG729", "G-729", AudioPage, "0"},
        {"CODECS", "CodecG711a", K::Check, "chkCodecG711a", "G-711 A-LAW", AudioPage, "0"},
        {"CODECS", "CodecGSM", K::Check, "chkCodecGSM", "GSM 6.10", AudioPage, "0"},
        {"CODECS", "CodecILBC", K::Check, "chkCodecILBC", "iLBC", AudioPage, "0"},
        {"CTI", "EnableCTITCP", K::Option, "optCTITCP", "TCP API Communication", CtiPage, "False"},
        {"CTI", "EnableCTIXML", K::Option, "optCTIXML", "Text File API Communication", CtiPage, "False"},
        {"CTI", "EnableCTI", K::Check, "chkEnableCTI", "Enable CTI", CtiPage, "0"},
        {"CTI", "TCPPort", K::Text, "txtConfigTCPPort", "Port", CtiPage, "2500"},
    };
    return rows;
}
