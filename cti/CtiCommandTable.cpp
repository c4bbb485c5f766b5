#include "cti/CtiCommandTable.h"

#include "cti/CtiProtocol.h"

namespace {

CtiOutcome Dial(CtiPhone& phone, const std::string& number)
{
    return phone.Dial(number);
}

CtiOutcome Hangup(CtiPhone& phone, const std::string&)
{
    return phone.HangUp();
}

CtiOutcome Hold(CtiPhone& phone, const std::string&)
{
    return phone.ToggleHold();
}

CtiOutcome Answer(CtiPhone& phone, const std::string&)
{
    return phone.Answer();
}

// Every digit is sent, in order and without pauses, also after one failed; the
// outcome is the first failure.
CtiOutcome SendDtmf(CtiPhone& phone, const std::string& digits)
{
    CtiOutcome outcome = CtiOutcome::Done();
    for (const char digit : digits) {
        const CtiOutcome sent = phone.SendDigit(std::string(1, digit));
        if (!sent.ok && outcome.ok)
            outcome = sent;
    }
    return outcome;
}

CtiOutcome RejectCall(CtiPhone& phone, const std::string&)
{
    return phone.Reject();
}

CtiOutcome ShutDown(CtiPhone& phone, const std::string&)
{
    return phone.ConfirmClose() ? CtiOutcome::EndProgram() : CtiOutcome::Failed(CtiProtocol::kClosingCancelled);
}

} // namespace

const std::vector<CtiCommandTable::Command>& CtiCommandTable::Commands()
{
    static const std::vector<Command> commands = {
        {"Dial", "number", "puts the number on the display and calls it: a SIP URI as it is, else sip:number@proxy", false, Dial},
        {"Hangup", "", "ends the call on the line", false, Hangup},
        {"Hold", "", "holds the call, or resumes it when it is held", false, Hold},
        {"Answer", "", "answers the oldest ringing call", false, Answer},
        {"SendDTMF", "digits", "sends each digit (0-9, *, #, A-D) as DTMF, in order", false, SendDtmf},
        {"RejectCall", "", "rejects the oldest ringing call", false, RejectCall},
        {"ShutDown", "", "closes trn (and every other copy of it of the user), asking first when the settings say so", false,
         ShutDown},
        {"Status", "", "answers with the snapshot: registration, line, ringing calls, peer, last error", true,
         nullptr},
    };
    return commands;
}

const CtiCommandTable::Command* CtiCommandTable::Find(std::string_view name, CtiTransport transport)
{
    for (const Command& command : Commands()) {
        if (command.name == name && (transport == CtiTransport::Socket || !command.socketOnly))
            return &command;
    }
    return nullptr;
}

bool CtiCommandTable::IsStatus(const Command& command)
{
    return command.run == nullptr;
}
