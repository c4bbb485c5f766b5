#pragma once

#include <string>
#include <variant>
#include <vector>

// Queue type codes of the events the engine raises.
enum class EventType {
    MsgNotify = 11,
    DtmfDigit = 12,
    PlayWaveDone = 13,
    TryingToUnRegister = 14,
    FailToUnRegister = 15,
    SuccessToUnRegister = 16,
    TryingToRegister = 17,
    FailToRegister = 18,
    SuccessToRegister = 19,
    SuccessToConnect = 20,
    Connecting = 21,
    FailToConnect = 22,
    IncomingCall = 29,
    IncomingCallRingingStart = 30,
    IncomingCallRingingStop = 31,
    DisconnectCall = 32,
    CallTransferAccepted = 33,
    ProvisionalResponse = 34,
    RedirectionResponse = 35,
    RequestFailureResponse = 36,
    ServerFailureResponse = 37,
    GeneralFailureResponse = 38,
    IncomingDiagnostic = 39,
    OutgoingDiagnostic = 40,
    VoiceMailMsg = 41,
    TryingToReRegister = 42,
    FailToReRegister = 43,
    SuccessToReRegister = 44,
};

// A value an event carries: a BOOL, an I4 or a BSTR (the first alternative is never
// used; it keeps the type the control's own value type, so the values pass unchanged).
using EventValue = std::variant<std::monostate, bool, int, std::string>;

// One queued event: its type and its values in the order of the event's parameters.
struct EventRecord {
    EventType type = EventType::MsgNotify;
    std::vector<EventValue> values;
};
