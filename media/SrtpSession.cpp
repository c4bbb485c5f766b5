#include "media/SrtpSession.h"

#include <srtp2/srtp.h>

#include <algorithm>
#include <cstring>
#include <mutex>

static_assert(SRTP_MAX_TRAILER_LEN <= 144, "the buffers leave room for the largest trailer");

namespace {

constexpr const char* Suite80 = "AES_CM_128_HMAC_SHA1_80";
constexpr const char* Suite32 = "AES_CM_128_HMAC_SHA1_32";
// Packets a peer may reorder before one counts as too old.
constexpr unsigned long ReplayWindow = 1024;

bool LibraryReady()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = srtp_init() == srtp_err_status_ok; });
    return ready;
}

bool Supports(const std::string& suite)
{
    return suite == Suite80 || suite == Suite32;
}

} // namespace

SrtpSession::~SrtpSession()
{
    Clear();
}

srtp_ctx_t_* SrtpSession::CreateContext(const std::string& suite, const SrtpKeys::KeySalt& key, bool outbound)
{
    if (!LibraryReady() || !Supports(suite))
        return nullptr;
    srtp_policy_t policy;
    std::memset(&policy, 0, sizeof policy);
    if (suite == Suite80)
        srtp_crypto_policy_set_aes_cm_128_hmac_sha1_80(&policy.rtp);
    else
        srtp_crypto_policy_set_aes_cm_128_hmac_sha1_32(&policy.rtp);
    // SRTCP keeps the 80-bit tag with either suite (RFC 4568 §6.2).
    srtp_crypto_policy_set_aes_cm_128_hmac_sha1_80(&policy.rtcp);
    policy.ssrc.type = outbound ? ssrc_any_outbound : ssrc_any_inbound;
    SrtpKeys::KeySalt keyCopy = key;
    policy.key = keyCopy.data();
    policy.window_size = ReplayWindow;
    // The end of a telephone event goes three times as the very same packet.
    policy.allow_repeat_tx = outbound ? 1 : 0;
    srtp_t context = nullptr;
    if (srtp_create(&context, &policy) != srtp_err_status_ok)
        return nullptr;
    return context;
}

void SrtpSession::Destroy(srtp_ctx_t_*& context)
{
    if (context != nullptr)
        srtp_dealloc(context);
    context = nullptr;
}

bool SrtpSession::Configure(const SrtpKeys& keys)
{
    if (!keys.Encrypted()) {
        Clear();
        return true;
    }
    const bool sameSuite = keys.suite == keys_.suite;
    const bool keepOutbound = sameSuite && outbound_ != nullptr && keys.send == keys_.send;
    const bool keepInbound = sameSuite && inbound_ != nullptr && keys.receive == keys_.receive;
    if (!keepOutbound) {
        Destroy(outbound_);
        outbound_ = CreateContext(keys.suite, keys.send, true);
    }
    if (!keepInbound) {
        Destroy(inbound_);
        inbound_ = CreateContext(keys.suite, keys.receive, false);
        inboundStreams_ = 0;
        nextEvicted_ = 0;
    }
    keys_ = keys;
    if (outbound_ != nullptr && inbound_ != nullptr)
        return true;
    Destroy(outbound_);
    Destroy(inbound_);
    return false;
}

void SrtpSession::Clear()
{
    Destroy(outbound_);
    Destroy(inbound_);
    keys_ = {};
    discards_ = {};
    inboundStreams_ = 0;
    nextEvicted_ = 0;
}

std::span<const std::uint8_t> SrtpSession::Protect(std::span<const std::uint8_t> packet)
{
    return ProtectAny(packet, false);
}

bool SrtpSession::Unprotect(std::span<const std::uint8_t>& packet)
{
    return UnprotectAny(packet, false);
}

std::span<const std::uint8_t> SrtpSession::ProtectControl(std::span<const std::uint8_t> packet)
{
    return ProtectAny(packet, true);
}

bool SrtpSession::UnprotectControl(std::span<const std::uint8_t>& packet)
{
    return UnprotectAny(packet, true);
}

std::span<const std::uint8_t> SrtpSession::ProtectAny(std::span<const std::uint8_t> packet, bool control)
{
    if (!Encrypted())
        return packet;
    if (outbound_ == nullptr || packet.size() > MaxPacketBytes)
        return {};
    std::copy(packet.begin(), packet.end(), sent_.begin());
    int length = static_cast<int>(packet.size());
    const srtp_err_status_t status = control ? srtp_protect_rtcp(outbound_, sent_.data(), &length)
                                             : srtp_protect(outbound_, sent_.data(), &length);
    if (status != srtp_err_status_ok)
        return {};
    return std::span<const std::uint8_t>(sent_.data(), static_cast<std::size_t>(length));
}

bool SrtpSession::UnprotectAny(std::span<const std::uint8_t>& packet, bool control)
{
    if (!Encrypted())
        return true;
    if (inbound_ == nullptr || packet.size() > MaxPacketBytes) {
        ++discards_.authentication;
        return false;
    }
    std::copy(packet.begin(), packet.end(), received_.begin());
    int length = static_cast<int>(packet.size());
    const srtp_err_status_t status = control ? srtp_unprotect_rtcp(inbound_, received_.data(), &length)
                                             : srtp_unprotect(inbound_, received_.data(), &length);
    if (status == srtp_err_status_ok) {
        packet = std::span<const std::uint8_t>(received_.data(), static_cast<std::size_t>(length));
        // The stream's SSRC: the sender's, first in an RTCP packet, after the timestamp in RTP.
        NoteInboundStream(packet, control ? 4 : 8);
        return true;
    }
    if (status == srtp_err_status_replay_fail || status == srtp_err_status_replay_old)
        ++discards_.replay;
    else
        ++discards_.authentication;
    return false;
}

void SrtpSession::NoteInboundStream(std::span<const std::uint8_t> packet, std::size_t offset)
{
    std::uint32_t ssrc = 0;
    std::memcpy(&ssrc, packet.data() + offset, sizeof ssrc);
    const auto known = inboundSsrcs_.begin() + static_cast<std::ptrdiff_t>(inboundStreams_);
    if (std::find(inboundSsrcs_.begin(), known, ssrc) != known)
        return;
    if (inboundStreams_ < inboundSsrcs_.size()) {
        inboundSsrcs_[inboundStreams_++] = ssrc;
        return;
    }
    srtp_remove_stream(inbound_, inboundSsrcs_[nextEvicted_]);
    inboundSsrcs_[nextEvicted_] = ssrc;
    nextEvicted_ = (nextEvicted_ + 1) % inboundSsrcs_.size();
}
