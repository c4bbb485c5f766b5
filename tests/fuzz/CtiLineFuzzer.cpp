// Fuzz target: bytes a client sends to trn's CTI socket, cut into lines, each line
// interpreted and run against a phone as trn runs it, every answer, event and
// snapshot line built from what the client sent. Whatever comes in, each line that
// goes out must stay one line.

#include "tests/fuzz/FuzzEnvironment.h"

#include "cti/CtiCommandRunner.h"
#include "cti/CtiLineSplitter.h"
#include "cti/CtiProtocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t ReadChunk = 4096;

// A phone on which every operation works, that never confirms closing and never ends.
class QuietPhone : public CtiPhone {
public:
    CtiOutcome Dial(const std::string& number) override { return Note(number); }
    CtiOutcome HangUp() override { return CtiOutcome::Done(); }
    CtiOutcome ToggleHold() override { return CtiOutcome::Failed(34); }
    CtiOutcome Answer() override { return CtiOutcome::Failed(32); }
    CtiOutcome Reject() override { return CtiOutcome::Done(); }
    CtiOutcome SendDigit(const std::string& digit) override { return Note(digit); }
    bool ConfirmClose() override { return false; }
    void EndProgram() override {}
    CtiLineStatus LineStatus() override { return status; }
    bool IsBusy() const override { return false; }

    CtiLineStatus status;

private:
    CtiOutcome Note(const std::string& text)
    {
        status.peer = text;
        status.pending = {{text, text}};
        return CtiOutcome::Done();
    }
};

void ExpectOneLine(std::string_view line)
{
    if (line.find_first_of("\r\n") != std::string_view::npos)
        std::abort();
}

void Answer(const CtiProtocol::Request& request, CtiCommandRunner& runner, QuietPhone& phone)
{
    if (!request.refusal.empty()) {
        ExpectOneLine(request.refusal);
        return;
    }
    if (request.command == nullptr)
        return;
    const std::string name(request.command->name);
    // Status answers with the snapshot alone, as the socket client does.
    if (!CtiCommandTable::IsStatus(*request.command)) {
        std::optional<CtiOutcome> outcome = runner.Run(*request.command, request.parameter);
        if (outcome)
            ExpectOneLine(outcome->ok ? CtiProtocol::Ok(name) : CtiProtocol::Error(name, outcome->code));
    }
    ExpectOneLine(CtiProtocol::Event({name, request.parameter, request.parameter}));
    ExpectOneLine(CtiProtocol::Failure(486, request.parameter, request.parameter));
    ExpectOneLine(CtiProtocol::Quality(request.parameter));
    CtiLineStatus status = phone.LineStatus();
    for (const std::string& line : CtiProtocol::Snapshot({"REGISTERED", "CONNECTED", status.pending, status.peer,
                                                          request.parameter, {name, request.parameter, name},
                                                          request.parameter}))
        ExpectOneLine(line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    QuietPhone phone;
    CtiCommandRunner runner(phone);
    CtiLineSplitter splitter(CtiProtocol::kMaxLineBytes);
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // Read in chunks, and only while the splitter asks for more, as a client is read.
    while (!input.empty() || !splitter.WantsInput()) {
        if (splitter.WantsInput()) {
            std::size_t chunk = std::min(input.size(), ReadChunk);
            splitter.Feed(input.substr(0, chunk));
            input.remove_prefix(chunk);
        }
        while (std::optional<CtiLineSplitter::Line> line = splitter.Next()) {
            if (line->tooLong)
                ExpectOneLine(CtiProtocol::LineTooLong());
            else
                Answer(CtiProtocol::Interpret(line->text), runner, phone);
        }
    }
    return 0;
}
