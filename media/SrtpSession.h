#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

struct srtp_ctx_t_;

// The keys of an encrypted call: the suite and each direction's master key and salt
// (30 bytes, as RFC 4568 inline keys carry them). An empty suite is plain RTP.
struct SrtpKeys {
    static constexpr std::size_t KeySaltBytes = 30;
    using KeySalt = std::array<std::uint8_t, KeySaltBytes>;

    std::string suite;
    KeySalt send{};
    KeySalt receive{};

    bool Encrypted() const { return !suite.empty(); }
};

// SRTP (RFC 3711) for one line, over libsrtp: every packet sent is protected and
// every packet received is checked and decrypted, with the suites
// AES_CM_128_HMAC_SHA1_80 and AES_CM_128_HMAC_SHA1_32; RTCP likewise as SRTCP. Plain RTP passes unchanged while
// the session has no keys. Not locked: its line's lock guards it.
class SrtpSession {
public:
    // Packets dropped: failed authentication (forged or damaged), or the replay
    // check (repeated, or too old for the window).
    struct Discards {
        std::uint64_t authentication = 0;
        std::uint64_t replay = 0;
    };

    SrtpSession() = default;
    ~SrtpSession();
    SrtpSession(const SrtpSession&) = delete;
    SrtpSession& operator=(const SrtpSession&) = delete;

    // The call's keys. A direction whose suite and key are unchanged keeps its
    // context, and so its replay window and rollover counter: a key is never started
    // again from the beginning. Keys without a suite make the session plain. false
    // when a key cannot be used: the session then lets nothing through either way.
    bool Configure(const SrtpKeys& keys);
    bool Encrypted() const { return keys_.Encrypted(); }
    const std::string& Suite() const { return keys_.suite; }
    // The packets dropped since the last time, the counts back to 0.
    Discards TakeDiscards() { return std::exchange(discards_, {}); }

    // The packet as it leaves: itself while plain, else its protected form in the
    // session's own buffer (valid until the next Protect); empty when it cannot be
    // protected, so that nothing leaves in clear.
    std::span<const std::uint8_t> Protect(std::span<const std::uint8_t> packet);
    // Replaces `packet` by its plain form (in the session's own buffer, valid until
    // the next Unprotect); false, and counted, for a packet that fails the checks.
    bool Unprotect(std::span<const std::uint8_t>& packet);
    // The same for an RTCP compound packet (SRTCP: its own index, an 80-bit tag).
    std::span<const std::uint8_t> ProtectControl(std::span<const std::uint8_t> packet);
    bool UnprotectControl(std::span<const std::uint8_t>& packet);

    // The peer's streams (SSRCs) kept at once: a peer that holds the key is a stranger
    // too, and ever new SSRCs of its would each take memory; the oldest is forgotten.
    static constexpr std::size_t MaxInboundStreams = 8;

private:
    // The largest packet taken either way, before the authentication tag.
    static constexpr std::size_t MaxPacketBytes = 2048;
    // What libsrtp may write after a packet (SRTP_MAX_TRAILER_LEN).
    static constexpr std::size_t MaxTrailerBytes = 144;

    // Plain RTP again, the counts back to 0.
    void Clear();
    static srtp_ctx_t_* CreateContext(const std::string& suite, const SrtpKeys::KeySalt& key, bool outbound);
    static void Destroy(srtp_ctx_t_*& context);
    // RTP (control false) or RTCP (control true) through the outbound or inbound context.
    std::span<const std::uint8_t> ProtectAny(std::span<const std::uint8_t> packet, bool control);
    bool UnprotectAny(std::span<const std::uint8_t>& packet, bool control);
    // Notes the SSRC of a packet that passed (as it stands in the packet, at `offset`),
    // forgetting the oldest stream beyond the bound.
    void NoteInboundStream(std::span<const std::uint8_t> packet, std::size_t offset);

    SrtpKeys keys_;
    srtp_ctx_t_* outbound_ = nullptr;
    srtp_ctx_t_* inbound_ = nullptr;
    // The SSRCs of the inbound streams as they stand in the packets, oldest at `nextEvicted_`.
    std::array<std::uint32_t, MaxInboundStreams> inboundSsrcs_{};
    std::size_t inboundStreams_ = 0;
    std::size_t nextEvicted_ = 0;
    Discards discards_;
    std::array<std::uint8_t, MaxPacketBytes + MaxTrailerBytes> sent_{};
    std::array<std::uint8_t, MaxPacketBytes + MaxTrailerBytes> received_{};
};
