#pragma once

#include <string>
#include <vector>

// The machine's IPv4 addresses and the one to show as "my address": a public one
// first, then a private one, then a link-local one.
class LocalAddress {
public:
    // Addresses of the interfaces that are up (loopback left out), in interface
    // order, then those of the host name not already listed.
    static std::vector<std::string> ListLocalAddresses();
    static std::string SelectLocalAddress(const std::vector<std::string>& addresses);
    // The address ORVSIP_LOCAL_ADDRESS names when it holds a dotted IPv4 address (a
    // user with several interfaces picks one); otherwise the choice among the list.
    static std::string SelectLocalAddress();
};
