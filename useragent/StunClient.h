#pragma once

#include "media/StunMessage.h"
#include "platform/DnsResolver.h"
#include "platform/MessageWindow.h"
#include "platform/NetworkEndpoint.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>

class MediaEngine;
class MessageLoop;

// Learns, for each open line, the public address and port its RTP socket's datagrams
// leave a NAT with, by asking a STUN server (RFC 5389 Binding requests from the line's
// own socket, answered on it). Off while no server is set. Every open line is asked
// when a line opens or the server changes, and again every RefreshMs, which also keeps
// the lines' NAT bindings open between calls; an unanswered round is resent after 0.5,
// 1 and 2 s, and a line whose round stays unanswered forgets what it learned.
class StunClient {
public:
    static constexpr int DefaultPort = 3478;
    static constexpr int RefreshMs = 20000;
    static constexpr int FirstResendMs = 500;
    static constexpr int Resends = 3;

    StunClient(MessageLoop& loop, MediaEngine& media);
    StunClient(const StunClient&) = delete;
    StunClient& operator=(const StunClient&) = delete;

    // "host", "host:port" or "stun:host[:port]" (port 3478 by default); empty turns
    // STUN off. false, and nothing changes, for a text naming no host and port.
    bool SetServer(const std::string& server);
    // The host and port of a server text; false for one that names none.
    static bool ParseServer(const std::string& text, std::string& host, int& port);
    // A line opened (or opened again on another port): it is asked at once.
    void OnLineOpened();
    // The lines closed: no more rounds until one opens.
    void Stop();

private:
    static constexpr unsigned RoundTimer = 1;
    static constexpr unsigned ResendTimer = 2;

    void StartRound();
    void SendRound();
    void OnResendDue();
    void OnTimer(unsigned timerId);
    StunMessage::TransactionId NewTransactionId();

    MessageWindow window_;
    MediaEngine& media_;
    DnsResolver resolver_;
    std::string host_;
    int port_ = DefaultPort;
    // Where the requests go once the host's address is known.
    NetworkEndpoint server_;
    // Answers of look-ups for an older server are dropped.
    std::uint64_t generation_ = 0;
    int resendsLeft_ = 0;
    int resendDelayMs_ = FirstResendMs;
    std::random_device random_;
};
