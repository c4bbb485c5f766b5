#pragma once

#include <array>
#include <string>

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

// One queued event: five strings, the integer `data` and four more, and a line.
struct EventRecord {
    EventType type = EventType::MsgNotify;
    std::array<std::string, 5> texts;
    int data = 0;
    std::array<int, 4> numbers{};
    int line = -1;
};
