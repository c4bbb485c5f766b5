#include "useragent/EventQueue.h"

#include "platform/MessageWindow.h"
#include "useragent/EventSink.h"

void EventQueue::Post(MessageWindow& window, EventRecord record)
{
    EventType type = record.type;
    {
        std::lock_guard lock(mutex_);
        records_.push_back(std::move(record));
    }
    window.Post(DeliverMessage, static_cast<std::uintptr_t>(type));
}

void EventQueue::DeliverNext(EventSink* sink)
{
    EventRecord record;
    {
        std::lock_guard lock(mutex_);
        if (records_.empty())
            return;
        record = std::move(records_.front());
        records_.pop_front();
    }
    if (sink != nullptr)
        Deliver(record, *sink);
}

void EventQueue::Clear()
{
    std::lock_guard lock(mutex_);
    records_.clear();
}

void EventQueue::Deliver(const EventRecord& r, EventSink& sink)
{
    const auto& t = r.texts;
    const auto& n = r.numbers;
    switch (r.type) {
    case EventType::TryingToRegister: sink.OnTryingToRegister(); break;
    case EventType::FailToRegister: sink.OnFailToRegister(); break;
    case EventType::SuccessToRegister: sink.OnSuccessToRegister(); break;
    case EventType::TryingToReRegister: sink.OnTryingToReRegister(); break;
    case EventType::FailToReRegister: sink.OnFailToReRegister(); break;
    case EventType::SuccessToReRegister: sink.OnSuccessToReRegister(); break;
    case EventType::TryingToUnRegister: sink.OnTryingToUnRegister(); break;
    case EventType::FailToUnRegister: sink.OnFailToUnRegister(); break;
    case EventType::SuccessToUnRegister: sink.OnSuccessToUnRegister(); break;
    case EventType::Connecting: sink.OnConnecting(r.line); break;
    case EventType::SuccessToConnect: sink.OnSuccessToConnect(r.line, t[0], r.data); break;
    case EventType::FailToConnect: sink.OnFailToConnect(r.line); break;
    case EventType::DisconnectCall: sink.OnDisconnectCall(r.line); break;
    case EventType::CallTransferAccepted: sink.OnCallTransferAccepted(r.line); break;
    case EventType::PlayWaveDone: sink.OnPlayWaveDone(r.line); break;
    case EventType::DtmfDigit: sink.OnDTMFDigit(r.line, t[0]); break;
    case EventType::MsgNotify: sink.OnMsgNOTIFY(t[0]); break;
    case EventType::VoiceMailMsg: sink.OnVoiceMailMsg(r.data != 0, n[0], n[1], n[2], n[3], t[0]); break;
    case EventType::IncomingCall: sink.OnIncomingCall(t[0], t[1], t[2], t[3], t[4]); break;
    case EventType::IncomingCallRingingStart: sink.OnIncomingCallRingingStart(t[0]); break;
    case EventType::IncomingCallRingingStop: sink.OnIncomingCallRingingStop(t[0]); break;
    case EventType::ProvisionalResponse: sink.OnProvisionalResponse(r.line, r.data, t[0]); break;
    case EventType::RedirectionResponse: sink.OnRedirectionResponse(r.line, r.data, t[0], t[1]); break;
    case EventType::RequestFailureResponse: sink.OnRequestFailureResponse(r.line, r.data, t[0]); break;
    case EventType::ServerFailureResponse: sink.OnServerFailureResponse(r.line, r.data, t[0]); break;
    case EventType::GeneralFailureResponse: sink.OnGeneralFailureResponse(r.line, r.data, t[0]); break;
    case EventType::IncomingDiagnostic: sink.OnIncomingDiagnostic(t[0], t[1], r.data); break;
    case EventType::OutgoingDiagnostic: sink.OnOutgoingDiagnostic(t[0], t[1], r.data); break;
    }
}
