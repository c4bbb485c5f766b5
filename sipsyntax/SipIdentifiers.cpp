#include "sipsyntax/SipIdentifiers.h"

#include "platform/Clock.h"
#include "sipsyntax/SipMessage.h"
#include "sipsyntax/SipUri.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

std::atomic<int> tagCounter{1};
std::atomic<int> branchCounter{1};
std::atomic<int> callIdCounter{1};

struct Draw {
    unsigned random;
    unsigned tick;
    unsigned seconds;
};

// Every value drawn within one second is the same random number (0..32767); the counters and
// the tick keep identifiers apart.
Draw DrawValues()
{
    auto now = static_cast<unsigned>(std::time(nullptr));
    std::srand(now);
    return Draw{static_cast<unsigned>(std::rand() & 0x7FFF), Clock::TickCount(), now};
}

std::string Printed(const char* format, auto... values)
{
    char text[96];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

} // namespace

std::string SipIdentifiers::NewTag()
{
    Draw draw = DrawValues();
    return Printed("%d%x", tagCounter++, draw.random + draw.tick);
}

std::string SipIdentifiers::NewBranch()
{
    Draw draw = DrawValues();
    return Printed("z9hG4bK%d%x%x%x", branchCounter++, draw.tick, draw.random, draw.seconds);
}

std::string SipIdentifiers::NewCallId()
{
    Draw draw = DrawValues();
    return Printed("%x-%x%x-%x", draw.tick, static_cast<unsigned>(callIdCounter++), draw.random, draw.seconds);
}

std::string SipIdentifiers::ContactValue(const std::string& user, const std::string& listenIp, int listenPort)
{
    return "<sip:" + user + "@" + listenIp + ":" + std::to_string(listenPort) + ">";
}

bool SipIdentifiers::BuildContact(SipMessage& message, const std::string& fromUri, const std::string& listenIp,
                                  int listenPort)
{
    SipAddress address;
    if (!SipUri::SplitUri(fromUri, address))
        return false;
    return message.SetContact(ContactValue(address.user, listenIp, listenPort));
}

std::string SipIdentifiers::TagOf(const std::string& nameAddr)
{
    std::size_t at = nameAddr.find(";tag=");
    return at == std::string::npos ? std::string() : nameAddr.substr(at + 5);
}

std::string SipIdentifiers::LocalAor(const std::string& localFrom)
{
    SipAddress address;
    SipUri::SplitUri(localFrom, address);
    return "sip:" + address.user + "@" + address.host;
}
