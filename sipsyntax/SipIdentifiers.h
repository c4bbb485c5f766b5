#pragma once

#include <string>

class SipMessage;

// Tags, branches and Call-IDs. Three process-wide counters keep values made within
// the same second apart.
class SipIdentifiers {
public:
    static std::string NewTag();
    static std::string NewBranch();
    static std::string NewCallId();
    // Sets "<sip:user@listenIp:listenPort>" with the user of fromUri; false, and the
    // message untouched, when fromUri cannot be split.
    static bool BuildContact(SipMessage& message, const std::string& fromUri, const std::string& listenIp,
                             int listenPort);
    static std::string ContactValue(const std::string& user, const std::string& listenIp, int listenPort);
    static std::string TagOf(const std::string& nameAddr);
    static std::string LocalAor(const std::string& localFrom);
};
