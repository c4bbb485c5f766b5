#pragma once

#include "useragent/SipDestination.h"
#include "useragent/SipServerLocator.h"

#include <cstddef>
#include <string>

// One message on its way out: its text, where its owner sends it, who owns it, and
// the servers located for it with the one being tried.
struct SipOutgoing {
    std::string text;
    SipDestination destination;
    SipOwner owner;
    // A keep-alive: neither announced nor told when it fails.
    bool quiet = false;
    SipServerLocator::Targets targets;
    std::size_t tried = 0;
};
