#pragma once

#include "sipsyntax/SipUri.h"

#include <cstdint>
#include <string>

// Where a SIP message goes, as its owner knows it: the transport its URI names (or
// none), the host and the port (0 when none is given: a domain is then located by
// DNS, RFC 3263).
struct SipDestination {
    SipTransportKind transport = SipTransportKind::Unspecified;
    std::string host;
    int port = 0;
};

// Where a received message came from: its transport and the far end of its socket.
struct SipSource {
    SipTransportKind transport = SipTransportKind::Udp;
    std::string ip;
    int port = 0;
};

// Who a message belongs to, to be told when it cannot leave.
struct SipOwner {
    enum class Kind { Nobody, Call, Registration };
    Kind kind = Kind::Nobody;
    std::uint64_t callSerial = 0;
};
