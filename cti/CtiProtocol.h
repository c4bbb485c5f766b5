#pragma once

#include "cti/CtiCommandTable.h"
#include "cti/CtiEventQueue.h"
#include "cti/CtiPhone.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// What trn tells a socket client when it connects and when it asks for Status.
struct CtiSnapshot {
    std::string registration; // OFFLINE, REGISTERING, REGISTERED, FAILED, UNREGISTERED
    std::string line;         // IDLE, DIALLING, RINGING, CONNECTED, HELD
    std::vector<CtiPendingCall> pending;
    std::string peer;
    std::string codec;
    // The last error record or failure answer; empty when there was none.
    CtiEventQueue::Record lastError;
    // The figures of a connected call; empty otherwise (no QUALITY line then).
    std::string quality;
};

// The CTI socket's line protocol: one UTF-8 line per message, "\n" ended ("\r\n"
// accepted). A client sends a command name and its parameter ("Dial 2001"); trn
// answers every command with one line, "OK <command>" or "ERROR <command> <code>
// <message>", and sends tab-separated event, failure, quality and snapshot lines;
// a client ignores line types it does not know. Pure text
// in and out, so that every rule here is testable and fuzzable without a socket.
class CtiProtocol {
public:
    static constexpr std::size_t kMaxLineBytes = 1024;

    // Codes of the socket's own, beside the control's error codes.
    static constexpr int kUnknownCommand = 90;
    static constexpr int kMissingParameter = 91;
    static constexpr int kLineTooLong = 92;
    static constexpr int kClosingCancelled = 93;
    static constexpr int kControlCharacters = 94;
    static constexpr int kTooManyClients = 95;
    static constexpr int kNotASipUri = 96;

    // One client line: the command to run with its parameter, or the reply that
    // refuses it. An empty (or blank) line is neither and is ignored.
    struct Request {
        const CtiCommandTable::Command* command = nullptr;
        std::string parameter;
        std::string refusal;
    };
    static Request Interpret(std::string_view line);

    static std::string Ok(std::string_view command);
    static std::string Error(std::string_view command, int code);
    static std::string MessageFor(int code);
    static std::string LineTooLong();
    static std::string TooManyClients();

    // "EVENT", COMMAND, PARAMETER, MESSAGE, tab-separated.
    static std::string Event(const CtiEventQueue::Record& record);
    // "FAILURE", SIP status code, reason phrase, Contact (3xx only), tab-separated.
    static std::string Failure(int statusCode, std::string_view reason, std::string_view contact);
    // "QUALITY" and the figures of a call (key=value;...), tab-separated.
    static std::string Quality(std::string_view figures);
    // "SNAPSHOT" lines, the last one "SNAPSHOT\tEND".
    static std::vector<std::string> Snapshot(const CtiSnapshot& snapshot);

private:
    static std::string Echo(std::string_view command);
    static std::string Field(std::string_view text);
    static std::string Fields(std::initializer_list<std::string_view> fields);
};
