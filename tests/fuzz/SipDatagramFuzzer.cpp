// Fuzz target: SIP datagrams through the engine's receive path (parse, pre-checks,
// dispatch, the call state machines, answers built and "sent" while no datagram
// leaves the process). One SipUserAgent with two open lines lives for the whole
// run, so calls started by one input are answered, challenged or ended by later ones.
//
// Input: records separated by a line "~~~~" (at most 16 are read), each one datagram
// after a byte that picks a host action run before it (dial, accept, hold,
// transfer, register, ticks of the engine clock, do-not-disturb for this datagram...;
// bit 7 picks the line; un-registering is left out, as it waits seconds for its
// answer, and at most two hang-ups or digits run per input). So that answers can find what this side sent, these words in a datagram
// are replaced first: $CALLID (Call-ID of the last request sent), $CSEQ (its CSeq
// number; of the last request of the method named right after it when there is
// one), $BRANCH (its Via branch) and $LOCALTAG (this side's tag in the last message
// sent). A whole exchange fits in one input that way; a single datagram is one too.

#include "tests/fuzz/FuzzEnvironment.h"

#include "platform/MessageLoop.h"
#include "platform/MessageWindow.h"
#include "sipsyntax/SipIdentifiers.h"
#include "sipsyntax/SipMessage.h"
#include "useragent/EventSink.h"
#include "useragent/SipUserAgent.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace {

constexpr const char* PeerIp = "127.0.0.1";
constexpr int PeerPort = 5070;
constexpr int LineCount = 2;
constexpr const char* RecordSeparator = "\n~~~~\n";
constexpr int MaxRecords = 16;
// Hanging up and key tones wait for real time (10 ms between repeated requests, the
// key tone's sound stream); more than this many per input would only slow the run.
constexpr int MaxWaitingActions = 2;

// Remembers what a peer would copy into its answers, and the newest incoming call.
class PeerMemory : public EventSink {
public:
    void OnEvent(const EventRecord& record) override
    {
        if (record.type == EventType::OutgoingDiagnostic)
            OnOutgoingDiagnostic(std::get<std::string>(record.values.at(0)));
        else if (record.type == EventType::IncomingCall)
            incomingCallId = std::get<std::string>(record.values.at(0));
    }

    void OnOutgoingDiagnostic(const std::string& text)
    {
        SipMessage message;
        if (!message.Parse(text))
            return;
        if (!message.IsRequest()) {
            localTag = SipIdentifiers::TagOf(message.GetTo());
            return;
        }
        localTag = SipIdentifiers::TagOf(message.GetFrom());
        callId = message.GetCallId();
        std::string method;
        SipMessage::SplitCSeq(message.GetCSeq(), cseq, method);
        cseqByMethod[method] = cseq;
        ViaParts via;
        auto vias = message.GetVias();
        if (!vias.empty() && SipMessage::SplitVia(vias.front(), via))
            branch = via.branch;
    }
    std::string Substitute(std::string text) const
    {
        ReplaceAll(text, "$CALLID", callId);
        ReplaceAll(text, "$BRANCH", branch);
        ReplaceAll(text, "$LOCALTAG", localTag);
        for (std::size_t at = text.find("$CSEQ"); at != std::string::npos; at = text.find("$CSEQ", at)) {
            std::string number = CSeqBefore(text, at + 5);
            text.replace(at, 5, number);
            at += number.size();
        }
        return text;
    }

    std::string incomingCallId;

private:
    static void ReplaceAll(std::string& text, const std::string& word, const std::string& value)
    {
        for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + value.size()))
            text.replace(at, word.size(), value);
    }

    // The CSeq number for a $CSEQ followed by `rest`: that of the method named there.
    std::string CSeqBefore(const std::string& text, std::size_t rest) const
    {
        std::size_t start = text.find_first_not_of(' ', rest);
        std::size_t end = start == std::string::npos ? start : text.find_first_of(" \r\n", start);
        std::string method = start == std::string::npos ? std::string() : text.substr(start, end - start);
        auto found = cseqByMethod.find(method);
        return found != cseqByMethod.end() ? found->second : cseq;
    }

    std::string callId;
    std::string cseq = "1";
    std::string branch;
    std::string localTag;
    std::map<std::string, std::string> cseqByMethod;
};

enum Action : std::uint8_t {
    Dial = 1,
    Accept,
    Reject,
    Disconnect,
    Hold,
    Unhold,
    Transfer,
    Join,
    Digit,
    Register,
    OneTick,
    RegistrationTimers,
    DoNotDisturb,
    ReopenLine,
    KeepAlive,
    ManyTicks,
    ActionCount,
};

class SipFuzzHarness {
public:
    SipFuzzHarness()
    {
        agent_.Initialize(true, "127.0.0.1", 0, "", "", "127.0.0.1", "1001", "secret", false, LineCount);
        // Peers' REFERs and INVITEs with Replaces are followed, as trn does.
        agent_.SetAcceptTransfer(true);
        for (int line = 0; line < LineCount; ++line)
            agent_.OpenLine(line, true, "127.0.0.1", 0);
        Pump();
    }

    void Run(const std::uint8_t* data, std::size_t size)
    {
        std::string input = FuzzEnvironment::Text(data, size);
        waitingActions_ = 0;
        std::size_t start = 0;
        for (int record = 0; record < MaxRecords && start < input.size(); ++record) {
            std::size_t end = std::min(input.find(RecordSeparator, start), input.size());
            RunRecord(input.substr(start, end - start));
            start = end + std::string_view(RecordSeparator).size();
        }
        if (++inputs_ % 64 == 0)
            Tick(1);
    }

private:
    void RunRecord(const std::string& record)
    {
        if (record.empty() || record.size() > SipTransport::ReceiveBufferSize + 1)
            return;
        auto first = static_cast<unsigned char>(record[0]);
        int action = first & 0x3F;
        RunAction(action, (first & 0x80) != 0 ? 1 : 0);
        Pump();
        std::string datagram = memory_.Substitute(record.substr(1));
        if (!datagram.empty())
            agent_.HandleDatagram(datagram, PeerIp, PeerPort);
        // Do-not-disturb holds for one datagram only: left on, it would refuse every
        // later call of the run.
        if (action == DoNotDisturb)
            agent_.DisableDonotDisturb();
        Pump();
    }

    void RunAction(int action, int line)
    {
        bool waits = action == Disconnect || action == Digit || action == ReopenLine;
        if (waits && ++waitingActions_ > MaxWaitingActions)
            return;
        switch (action) {
        case Dial: agent_.Connect(line, "sip:200@127.0.0.1:5070", -1, -1); break;
        case Accept: agent_.AcceptCall(line, memory_.incomingCallId, -1, -1); break;
        case Reject: agent_.RejectCall(memory_.incomingCallId); break;
        case Disconnect: agent_.Disconnect(line); break;
        case Hold: agent_.HoldLine(line); break;
        case Unhold: agent_.UnHoldLine(line); break;
        case Transfer: agent_.TransferCall(line, "sip:300@127.0.0.1:5070"); break;
        case Join: agent_.JoinTwoLine(line, 1 - line); break;
        case Digit: SendDigit(line); break;
        case Register: agent_.RegisterToProxy(60); break;
        case OneTick: Tick(1); break;
        case RegistrationTimers: PostRegistrationTimers(); break;
        case DoNotDisturb: agent_.EnableDonotDisturb(); break;
        case ReopenLine: Reopen(line); break;
        case KeepAlive: agent_.EnableKeepAlive(15); break;
        case ManyTicks: Tick(47); break;
        default: break;
        }
    }

    // Only a call's digit goes anywhere; each also waits for the key tone's sound
    // stream, which a digit without a call would do for nothing.
    void SendDigit(int line)
    {
        if (agent_.IsLineBusy(line))
            agent_.DigitDTMF(line, "5");
    }

    void Tick(int count)
    {
        for (int tick = 0; tick < count; ++tick) {
            agent_.Window()->Post(MessageWindow::TimerMessage, SipUserAgent::CallTickTimer);
            Pump();
        }
    }

    void PostRegistrationTimers()
    {
        for (unsigned timer : {SipUserAgent::RegistrationTimeoutTimer, SipUserAgent::RegistrationResendTimer,
                               SipUserAgent::RegistrationRefreshTimer, SipUserAgent::KeepAliveTimer})
            agent_.Window()->Post(MessageWindow::TimerMessage, timer);
    }

    void Reopen(int line)
    {
        agent_.CloseLine(line);
        agent_.OpenLine(line, true, "127.0.0.1", 0);
    }

    void Pump()
    {
        while (loop_.Dispatch() > 0) {
        }
    }

    FuzzEnvironment environment_{NetworkConfinement::Level::NoTraffic};
    MessageLoop loop_;
    PeerMemory memory_;
    SipUserAgent agent_{&memory_, loop_};
    unsigned inputs_ = 0;
    int waitingActions_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static SipFuzzHarness harness;
    harness.Run(data, size);
    return 0;
}
