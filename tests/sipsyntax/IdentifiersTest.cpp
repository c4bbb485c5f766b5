#include "sipsyntax/LocalAddress.h"
#include "sipsyntax/SipIdentifiers.h"
#include "sipsyntax/SipMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

TEST(SipIdentifiers, ValuesMadeInOneSecondDiffer)
{
    std::set<std::string> tags;
    std::set<std::string> branches;
    std::set<std::string> callIds;
    for (int i = 0; i < 200; ++i) {
        tags.insert(SipIdentifiers::NewTag());
        branches.insert(SipIdentifiers::NewBranch());
        callIds.insert(SipIdentifiers::NewCallId());
    }
    EXPECT_EQ(tags.size(), 200u);
    EXPECT_EQ(branches.size(), 200u);
    EXPECT_EQ(callIds.size(), 200u);
}

TEST(SipIdentifiers, Formats)
{
    std::string branch = SipIdentifiers::NewBranch();
    EXPECT_EQ(branch.rfind("z9hG4bK", 0), 0u);
    std::string callId = SipIdentifiers::NewCallId();
    EXPECT_EQ(std::count(callId.begin(), callId.end(), '-'), 2);
    EXPECT_EQ(callId.find('@'), std::string::npos);
    std::string tag = SipIdentifiers::NewTag();
    EXPECT_TRUE(std::all_of(tag.begin(), tag.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }));
}

TEST(SipIdentifiers, TagOfAndLocalAor)
{
    EXPECT_EQ(SipIdentifiers::TagOf("<sip:a@h>;tag=abc;x=1"), "abc;x=1");
    EXPECT_EQ(SipIdentifiers::TagOf("<sip:a@h>"), "");
    EXPECT_EQ(SipIdentifiers::TagOf("<sip:a@h>;tag="), "");
    EXPECT_EQ(SipIdentifiers::LocalAor("\"A\" <sip:alice@127.0.0.1:5070>;tag=9"), "sip:alice@127.0.0.1");
    EXPECT_EQ(SipIdentifiers::LocalAor("127.0.0.1"), "sip:@127.0.0.1");
}

TEST(SipIdentifiers, ContactAlwaysCarriesThePort)
{
    SipMessage m;
    ASSERT_TRUE(m.Init());
    ASSERT_TRUE(SipIdentifiers::BuildContact(m, "1001 <sip:1001@127.0.0.1>", "127.0.0.1", 5060));
    EXPECT_EQ(m.GetContact(), "<sip:1001@127.0.0.1:5060>");
    SipMessage untouched;
    ASSERT_TRUE(untouched.Init());
    EXPECT_FALSE(SipIdentifiers::BuildContact(untouched, "\"broken <sip:x", "127.0.0.1", 5060));
    EXPECT_EQ(untouched.GetContact(), "");
}

TEST(LocalAddress, PreferencePasses)
{
    EXPECT_EQ(LocalAddress::SelectLocalAddress({"192.168.1.5", "203.0.113.9"}), "203.0.113.9");
    EXPECT_EQ(LocalAddress::SelectLocalAddress({"169.254.3.3", "10.1.2.3"}), "10.1.2.3");
    EXPECT_EQ(LocalAddress::SelectLocalAddress({"127.0.0.1"}), "127.0.0.1");
    EXPECT_EQ(LocalAddress::SelectLocalAddress({}), "127.0.0.1");
    EXPECT_EQ(LocalAddress::SelectLocalAddress({"172.200.1.1", "169.254.1.1"}), "172.200.1.1");
    EXPECT_EQ(LocalAddress::SelectLocalAddress({"127.0.1.1", "169.254.1.1"}), "169.254.1.1");
    EXPECT_EQ(LocalAddress::SelectLocalAddress({"127.0.1.1", "", "8.8.4.4"}), "127.0.1.1")
        << "a pass stops at an empty entry";
}

TEST(LocalAddress, ListHasNoDuplicates)
{
    std::vector<std::string> addresses = LocalAddress::ListLocalAddresses();
    std::set<std::string> unique(addresses.begin(), addresses.end());
    EXPECT_EQ(unique.size(), addresses.size());
    std::string selected = LocalAddress::SelectLocalAddress();
    EXPECT_FALSE(selected.empty());
}

TEST(LocalAddress, EnvironmentPicksTheAddress)
{
    const char* before = std::getenv("ORVSIP_LOCAL_ADDRESS");
    const std::string saved = before != nullptr ? before : "";
    setenv("ORVSIP_LOCAL_ADDRESS", "127.0.0.1", 1);
    EXPECT_EQ(LocalAddress::SelectLocalAddress(), "127.0.0.1");
    setenv("ORVSIP_LOCAL_ADDRESS", "10.9.8.7", 1);
    EXPECT_EQ(LocalAddress::SelectLocalAddress(), "10.9.8.7");
    unsetenv("ORVSIP_LOCAL_ADDRESS");
    const std::string chosen = LocalAddress::SelectLocalAddress();
    for (const char* unusable : {"", "localhost", "10.0.0.256", "1.2.3.4\r\nVia: x", "::1"}) {
        setenv("ORVSIP_LOCAL_ADDRESS", unusable, 1);
        EXPECT_EQ(LocalAddress::SelectLocalAddress(), chosen) << "ignored: " << unusable;
    }
    if (before != nullptr)
        setenv("ORVSIP_LOCAL_ADDRESS", saved.c_str(), 1);
    else
        unsetenv("ORVSIP_LOCAL_ADDRESS");
}
