#include "sipsyntax/SipMessage.h"

#include "sipsyntax/OsipLibrary.h"
#include "sipsyntax/OsipText.h"
#include "sipsyntax/SipUri.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>

#include <cstdlib>
#include <cstring>

namespace {

std::string WithoutBlanks(std::string text)
{
    std::erase(text, ' ');
    return text;
}

// Takes the next count of a Voice-Message value: the text before `delimiter`, else
// before the line end, else 0.
long TakeCount(std::string& rest, char delimiter)
{
    std::size_t at = rest.find(delimiter);
    if (at != std::string::npos) {
        long value = std::atol(rest.substr(0, at).c_str());
        rest.erase(0, at + 1);
        return value;
    }
    at = rest.find("\r\n");
    if (at != std::string::npos) {
        long value = std::atol(rest.substr(0, at).c_str());
        rest.erase(0, at + 2);
        return value;
    }
    return 0;
}

} // namespace

const char* const SipMessage::SupportedMethods = "ACK, INFO, BYE, CANCEL, INVITE, NOTIFY, OPTIONS, REFER, REGISTER";

SipMessage::~SipMessage()
{
    Free();
}

SipMessage::SipMessage(SipMessage&& other) noexcept : message_(other.message_), raw_(std::move(other.raw_))
{
    other.message_ = nullptr;
}

SipMessage& SipMessage::operator=(SipMessage&& other) noexcept
{
    if (this != &other) {
        Free();
        message_ = other.message_;
        raw_ = std::move(other.raw_);
        other.message_ = nullptr;
    }
    return *this;
}

bool SipMessage::Init()
{
    Free();
    OsipLibrary::Prepare();
    raw_.clear();
    return osip_message_init(&message_) == 0;
}

bool SipMessage::Parse(const std::string& text)
{
    if (!Init())
        return false;
    raw_ = text;
    if (osip_message_parse(message_, text.data(), text.size()) != 0) {
        Free();
        return false;
    }
    return true;
}

std::string SipMessage::ToText() const
{
    if (message_ == nullptr || message_->from == nullptr || message_->to == nullptr)
        return {};
    char* printed = nullptr;
    std::size_t length = 0;
    if (osip_message_to_str(message_, &printed, &length) != 0)
        return {};
    return OsipText::Take(printed);
}

void SipMessage::Free()
{
    if (message_ != nullptr)
        osip_message_free(message_);
    message_ = nullptr;
}

bool SipMessage::SetMethod(const std::string& method)
{
    if (message_ == nullptr)
        return false;
    osip_message_set_method(message_, OsipText::Copy(method));
    return true;
}

std::string SipMessage::GetMethod() const
{
    return message_ != nullptr && message_->sip_method != nullptr ? message_->sip_method : "";
}

bool SipMessage::SetRequestUri(const std::string& uri)
{
    if (message_ == nullptr)
        return false;
    std::string normalised = SipUri::NormaliseRequestUri(uri);
    osip_uri_t* parsed = nullptr;
    if (normalised.empty() || osip_uri_init(&parsed) != 0)
        return false;
    if (osip_uri_parse(parsed, normalised.c_str()) != 0) {
        osip_uri_free(parsed);
        return false;
    }
    osip_message_set_uri(message_, parsed);
    return true;
}

bool SipMessage::SetRequestUriWithParameters(const std::string& uri)
{
    if (message_ == nullptr)
        return false;
    osip_uri_t* parsed = nullptr;
    if (uri.empty() || osip_uri_init(&parsed) != 0)
        return false;
    if (osip_uri_parse(parsed, uri.c_str()) != 0 || parsed->host == nullptr) {
        osip_uri_free(parsed);
        return SetRequestUri(uri);
    }
    osip_message_set_uri(message_, parsed);
    return true;
}

std::string SipMessage::GetRequestUri() const
{
    if (message_ == nullptr || message_->req_uri == nullptr)
        return {};
    char* printed = nullptr;
    osip_uri_to_str(message_->req_uri, &printed);
    return OsipText::Take(printed);
}

bool SipMessage::SetStatusCode(int code)
{
    if (message_ == nullptr)
        return false;
    osip_message_set_status_code(message_, code);
    return true;
}

int SipMessage::GetStatusCode() const
{
    return message_ != nullptr ? message_->status_code : 0;
}

bool SipMessage::SetReasonPhrase(const std::string& reason)
{
    if (message_ == nullptr)
        return false;
    osip_message_set_reason_phrase(message_, OsipText::Copy(reason));
    return true;
}

std::string SipMessage::GetReasonPhrase() const
{
    return message_ != nullptr && message_->reason_phrase != nullptr ? message_->reason_phrase : "";
}

bool SipMessage::IsRequest() const
{
    return GetStatusCode() == 0;
}

bool SipMessage::MethodStartsWith(const char* name) const
{
    return IsRequest() && GetMethod().compare(0, std::strlen(name), name) == 0;
}

bool SipMessage::IsInvite() const { return MethodStartsWith("INVITE"); }
bool SipMessage::IsOptions() const { return MethodStartsWith("OPTIONS"); }
bool SipMessage::IsNotify() const { return MethodStartsWith("NOTIFY"); }
bool SipMessage::IsCancel() const { return MethodStartsWith("CANCEL"); }
bool SipMessage::IsBye() const { return MethodStartsWith("BYE"); }
bool SipMessage::IsAck() const { return MethodStartsWith("ACK"); }
bool SipMessage::IsInfo() const { return MethodStartsWith("INFO"); }
bool SipMessage::IsRefer() const { return MethodStartsWith("REFER"); }

bool SipMessage::IsResponseFor(const std::string& method) const
{
    if (IsRequest() || message_->cseq == nullptr || message_->cseq->method == nullptr)
        return false;
    return method == message_->cseq->method;
}

bool SipMessage::StatusIn(int low, int high) const
{
    int code = GetStatusCode();
    return code >= low && code < high;
}

bool SipMessage::Is1xx() const { return StatusIn(100, 200); }
bool SipMessage::Is2xx() const { return StatusIn(200, 300); }
bool SipMessage::Is3xx() const { return StatusIn(300, 400); }
bool SipMessage::Is4xx() const { return StatusIn(400, 500); }
bool SipMessage::Is5xx() const { return StatusIn(500, 600); }
bool SipMessage::Is6xx() const { return StatusIn(600, 700); }
bool SipMessage::IsTrying() const { return GetStatusCode() == 100; }
bool SipMessage::IsRinging() const { return GetStatusCode() == 180; }
bool SipMessage::IsSessionProgress() const { return GetStatusCode() == 183; }

bool SipMessage::SetCallId(const std::string& callId)
{
    return message_ != nullptr && osip_message_set_call_id(message_, callId.c_str()) == 0;
}

std::string SipMessage::GetCallId() const
{
    if (message_ == nullptr || message_->call_id == nullptr)
        return {};
    char* printed = nullptr;
    osip_call_id_to_str(message_->call_id, &printed);
    return OsipText::Take(printed);
}

bool SipMessage::SetCSeq(const std::string& cseq)
{
    return message_ != nullptr && osip_message_set_cseq(message_, cseq.c_str()) == 0;
}

std::string SipMessage::GetCSeq() const
{
    if (message_ == nullptr || message_->cseq == nullptr)
        return {};
    char* printed = nullptr;
    osip_cseq_to_str(message_->cseq, &printed);
    return OsipText::Take(printed);
}

bool SipMessage::SplitCSeq(const std::string& cseq, std::string& number, std::string& method)
{
    OsipLibrary::Prepare();
    osip_cseq_t* parsed = nullptr;
    if (osip_cseq_init(&parsed) != 0)
        return false;
    bool ok = osip_cseq_parse(parsed, cseq.c_str()) == 0 && parsed->number != nullptr && parsed->method != nullptr;
    if (ok) {
        number = parsed->number;
        method = parsed->method;
    }
    osip_cseq_free(parsed);
    return ok;
}

bool SipMessage::SetFrom(const std::string& from)
{
    return message_ != nullptr && osip_message_set_from(message_, from.c_str()) == 0;
}

std::string SipMessage::GetFrom() const
{
    if (message_ == nullptr || message_->from == nullptr)
        return {};
    char* printed = nullptr;
    osip_from_to_str(message_->from, &printed);
    return OsipText::Take(printed);
}

bool SipMessage::SetTo(const std::string& to)
{
    return message_ != nullptr && osip_message_set_to(message_, to.c_str()) == 0;
}

std::string SipMessage::GetTo() const
{
    if (message_ == nullptr || message_->to == nullptr)
        return {};
    char* printed = nullptr;
    osip_to_to_str(message_->to, &printed);
    return OsipText::Take(printed);
}

bool SipMessage::SetContact(const std::string& contact)
{
    return message_ != nullptr && osip_message_set_contact(message_, contact.c_str()) == 0;
}

std::string SipMessage::GetContact() const
{
    osip_contact_t* contact = nullptr;
    if (message_ == nullptr || osip_message_get_contact(message_, 0, &contact) < 0 || contact == nullptr)
        return {};
    char* printed = nullptr;
    osip_contact_to_str(contact, &printed);
    return OsipText::Take(printed);
}

long SipMessage::GetContactExpires() const
{
    std::string contact = SipUri::ToLower(GetContact());
    std::size_t at = contact.find("expires=");
    if (at == std::string::npos)
        return -1;
    std::string value = contact.substr(at + 8);
    long seconds = std::atol(value.substr(0, value.find(';')).c_str());
    return seconds == 0 ? -1 : seconds;
}

bool SipMessage::SetNamedHeader(const char* name, const std::string& value)
{
    return message_ != nullptr && osip_message_set_header(message_, name, value.c_str()) == 0;
}

bool SipMessage::SetExpires(int seconds)
{
    return SetNamedHeader("Expires", std::to_string(seconds));
}

long SipMessage::GetExpires() const
{
    osip_header_t* header = nullptr;
    if (message_ == nullptr || osip_message_header_get_byname(message_, "expires", 0, &header) < 0 ||
        header == nullptr)
        return -1;
    return header->hvalue != nullptr ? std::atol(header->hvalue) : 0;
}

bool SipMessage::SetMaxForwards(const std::string& value)
{
    return SetNamedHeader("Max-Forwards", value);
}

std::string SipMessage::GetMaxForwards() const
{
    osip_header_t* header = nullptr;
    if (message_ == nullptr || osip_message_header_get_byname(message_, "max-forwards", 0, &header) < 0 ||
        header == nullptr || header->hvalue == nullptr)
        return {};
    return header->hvalue;
}

bool SipMessage::MaxForwardsNotZero() const
{
    return GetMaxForwards() != "0";
}

bool SipMessage::SetUserAgent(const std::string& value) { return SetNamedHeader("User-Agent", value); }
bool SipMessage::SetAllow(const std::string& value) { return SetNamedHeader("Allow", value); }
bool SipMessage::SetReferTo(const std::string& value) { return SetNamedHeader("Refer-To", value); }
bool SipMessage::SetReferredBy(const std::string& value) { return SetNamedHeader("Referred-By", value); }

std::string SipMessage::GetContentType() const
{
    osip_content_type_t* type = message_ != nullptr ? osip_message_get_content_type(message_) : nullptr;
    if (type == nullptr || type->type == nullptr || type->subtype == nullptr)
        return {};
    return SipUri::ToLower(std::string(type->type) + "/" + type->subtype);
}

bool SipMessage::SetHeader(const std::string& name, const std::string& value)
{
    return SetNamedHeader(name.c_str(), value);
}

std::vector<std::string> SipMessage::GetHeaders(const std::string& name) const
{
    std::vector<std::string> values;
    osip_header_t* header = nullptr;
    for (int at = 0; message_ != nullptr; ++at) {
        at = osip_message_header_get_byname(message_, name.c_str(), at, &header);
        if (at < 0)
            break;
        values.emplace_back(header != nullptr && header->hvalue != nullptr ? header->hvalue : "");
    }
    return values;
}

bool SipMessage::SetContentType(const std::string& value)
{
    return message_ != nullptr && osip_message_set_content_type(message_, value.c_str()) == 0;
}

bool SipMessage::SetBody(const std::string& body)
{
    if (message_ != nullptr && body.empty())
        return true; // nothing to carry; the library would print a broken empty part
    return message_ != nullptr && osip_message_set_body(message_, body.data(), body.size()) == 0;
}

std::string SipMessage::GetBody() const
{
    osip_body_t* body = nullptr;
    if (message_ == nullptr || osip_message_get_body(message_, 0, &body) < 0 || body == nullptr)
        return {};
    char* printed = nullptr;
    std::size_t length = 0;
    if (osip_body_to_str(body, &printed, &length) != 0 || printed == nullptr)
        return {};
    std::string text(printed, length);
    osip_free(printed);
    return text;
}

bool SipMessage::SetAuthorization(const std::string& credentials)
{
    return message_ != nullptr && osip_message_set_authorization(message_, credentials.c_str()) == 0;
}

bool SipMessage::SetProxyAuthorization(const std::string& credentials)
{
    return message_ != nullptr && osip_message_set_proxy_authorization(message_, credentials.c_str()) == 0;
}

namespace {

bool ReadChallenge(osip_www_authenticate_t* header, DigestChallenge& challenge)
{
    if (header == nullptr)
        return false;
    auto text = [](const char* value) { return DigestAuth::WithoutQuotes(value != nullptr ? value : ""); };
    challenge.realm = text(header->realm);
    challenge.nonce = text(header->nonce);
    challenge.opaque = text(header->opaque);
    challenge.qop = text(header->qop_options).empty() ? std::string() : std::string("auth");
    return true;
}

} // namespace

bool SipMessage::GetWwwChallenge(DigestChallenge& challenge) const
{
    osip_www_authenticate_t* header = nullptr;
    return message_ != nullptr && osip_message_get_www_authenticate(message_, 0, &header) >= 0 &&
           ReadChallenge(header, challenge);
}

bool SipMessage::GetProxyChallenge(DigestChallenge& challenge) const
{
    osip_proxy_authenticate_t* header = nullptr;
    return message_ != nullptr && osip_message_get_proxy_authenticate(message_, 0, &header) >= 0 &&
           ReadChallenge(header, challenge);
}

bool SipMessage::AddVia(const std::string& version, const std::string& transport, const std::string& host, int port,
                        const std::string& branch)
{
    osip_via_t* via = nullptr;
    if (message_ == nullptr || osip_via_init(&via) != 0)
        return false;
    via_set_version(via, OsipText::Copy(version));
    via_set_protocol(via, OsipText::Copy(transport));
    via_set_host(via, OsipText::Copy(host));
    via_set_port(via, OsipText::Copy(std::to_string(port)));
    osip_via_set_branch(via, OsipText::Copy(branch));
    char* printed = nullptr;
    osip_via_to_str(via, &printed);
    osip_via_free(via);
    std::string text = OsipText::Take(printed);
    return !text.empty() && osip_message_set_via(message_, (text + ";rport").c_str()) == 0;
}

std::vector<std::string> SipMessage::GetVias() const
{
    std::vector<std::string> vias;
    osip_via_t* via = nullptr;
    for (int at = 0; message_ != nullptr && osip_message_get_via(message_, at, &via) >= 0; ++at) {
        char* printed = nullptr;
        osip_via_to_str(via, &printed);
        vias.push_back(OsipText::Take(printed));
    }
    return vias;
}

bool SipMessage::AddVias(const std::vector<std::string>& vias)
{
    bool all = message_ != nullptr;
    for (const std::string& via : vias)
        all = message_ != nullptr && osip_message_set_via(message_, via.c_str()) == 0 && all;
    return all;
}

bool SipMessage::SplitVia(const std::string& via, ViaParts& parts)
{
    parts = ViaParts();
    OsipLibrary::Prepare();
    osip_via_t* parsed = nullptr;
    if (osip_via_init(&parsed) != 0)
        return false;
    if (osip_via_parse(parsed, via.c_str()) != 0) {
        osip_via_free(parsed);
        return false;
    }
    auto text = [](const char* value) { return value != nullptr ? std::string(value) : std::string(); };
    parts.version = text(parsed->version);
    parts.transport = text(parsed->protocol);
    parts.host = text(parsed->host);
    if (parsed->port != nullptr && *parsed->port != '\0' && std::strcmp(parsed->port, "0") != 0)
        parts.port = static_cast<int>(std::atol(parsed->port));
    auto param = [parsed, &text](const char* name) {
        osip_generic_param_t* found = nullptr;
        if (osip_via_param_get_byname(parsed, const_cast<char*>(name), &found) == 0 && found != nullptr)
            return text(found->gvalue);
        return std::string();
    };
    parts.branch = param("branch");
    std::string received = param("received");
    if (!received.empty())
        parts.host = received;
    int rport = std::atoi(param("rport").c_str());
    if (rport > 0 && rport <= 65535)
        parts.port = rport;
    osip_via_free(parsed);
    return true;
}

bool SipMessage::RecordSourceInTopVia(const std::string& ip, int port)
{
    osip_via_t* via = nullptr;
    if (message_ == nullptr || osip_message_get_via(message_, 0, &via) < 0 || via == nullptr)
        return false;
    osip_generic_param_t* rport = nullptr;
    if (osip_via_param_get_byname(via, const_cast<char*>("rport"), &rport) != 0 || rport == nullptr)
        return false;
    return RecordConnectionInTopVia(ip, port);
}

bool SipMessage::RecordConnectionInTopVia(const std::string& ip, int port)
{
    osip_via_t* via = nullptr;
    if (message_ == nullptr || osip_message_get_via(message_, 0, &via) < 0 || via == nullptr)
        return false;
    osip_generic_param_t* rport = nullptr;
    if (osip_via_param_get_byname(via, const_cast<char*>("rport"), &rport) != 0 || rport == nullptr) {
        osip_via_param_add(via, OsipText::Copy("rport"), OsipText::Copy(std::to_string(port)));
    } else {
        osip_free(rport->gvalue);
        rport->gvalue = OsipText::Copy(std::to_string(port));
    }
    osip_generic_param_t* received = nullptr;
    if (osip_via_param_get_byname(via, const_cast<char*>("received"), &received) == 0 && received != nullptr) {
        osip_free(received->gvalue);
        received->gvalue = OsipText::Copy(ip);
    } else {
        osip_via_param_add(via, OsipText::Copy("received"), OsipText::Copy(ip));
    }
    osip_message_force_update(message_);
    return true;
}

bool SipMessage::StampTransport(SipTransportKind transport)
{
    if (message_ == nullptr)
        return false;
    osip_via_t* via = nullptr;
    if (IsRequest() && osip_message_get_via(message_, 0, &via) >= 0 && via != nullptr) {
        osip_free(via->protocol);
        via->protocol = OsipText::Copy(SipUri::TransportName(transport));
    }
    osip_contact_t* contact = nullptr;
    if (osip_message_get_contact(message_, 0, &contact) >= 0 && contact != nullptr && contact->url != nullptr) {
        const std::string name = SipUri::ToLower(SipUri::TransportName(transport));
        osip_uri_param_t* param = nullptr;
        if (osip_uri_uparam_get_byname(contact->url, const_cast<char*>("transport"), &param) == 0 && param != nullptr) {
            osip_free(param->gvalue);
            param->gvalue = OsipText::Copy(name);
        } else {
            osip_uri_uparam_add(contact->url, OsipText::Copy("transport"), OsipText::Copy(name));
        }
    }
    osip_message_force_update(message_);
    return true;
}

std::vector<std::string> SipMessage::GetRecordRoutes() const
{
    std::vector<std::string> routes;
    osip_record_route_t* route = nullptr;
    for (int at = 0; message_ != nullptr && osip_message_get_record_route(message_, at, &route) >= 0; ++at) {
        char* printed = nullptr;
        osip_record_route_to_str(route, &printed);
        routes.push_back(OsipText::Take(printed));
    }
    return routes;
}

bool SipMessage::AddRecordRoutes(const std::vector<std::string>& routes)
{
    bool all = message_ != nullptr;
    for (const std::string& route : routes)
        all = message_ != nullptr && osip_message_set_record_route(message_, route.c_str()) == 0 && all;
    return all;
}

bool SipMessage::AddRoutes(const std::vector<std::string>& routes)
{
    bool all = message_ != nullptr;
    for (const std::string& route : routes)
        all = message_ != nullptr && osip_message_set_route(message_, route.c_str()) == 0 && all;
    return all;
}

std::vector<std::string> SipMessage::GetAcceptList() const
{
    std::vector<std::string> types;
    for (int at = 0; message_ != nullptr && at < osip_list_size(&message_->accepts); ++at) {
        auto* accept = static_cast<osip_accept_t*>(osip_list_get(&message_->accepts, at));
        std::string type = accept->type != nullptr ? accept->type : "";
        std::string subtype = accept->subtype != nullptr ? accept->subtype : "";
        types.push_back(type + "/" + subtype);
    }
    return types;
}

std::string SipMessage::GetAcceptEncoding() const
{
    if (message_ == nullptr || osip_list_size(&message_->accept_encodings) <= 0)
        return {};
    auto* encoding = static_cast<osip_accept_encoding_t*>(osip_list_get(&message_->accept_encodings, 0));
    return encoding->element != nullptr ? encoding->element : "";
}

bool SipMessage::CheckMandatory(std::string& reason) const
{
    if (GetCallId().empty())
        reason = "Missing Call-ID header field";
    else if (GetMethod().empty())
        reason = "Request Method missing";
    else if (GetRequestUri().empty())
        reason = "Request URI missing";
    else
        return true;
    return false;
}

bool SipMessage::IsMethodAllowed() const
{
    return SipUri::ToUpper(SupportedMethods).find(SipUri::ToUpper(GetMethod())) != std::string::npos;
}

bool SipMessage::CheckAccept(std::string& reason) const
{
    std::vector<std::string> types = GetAcceptList();
    std::string joined;
    for (const std::string& type : types)
        joined += (joined.empty() ? "" : " ") + type;
    if (!types.empty() && SipUri::ToLower(joined).find("application/sdp") == std::string::npos) {
        reason = "Cannot proceed with media types in the Accept header field";
        return false;
    }
    std::string encoding = GetAcceptEncoding();
    if (!encoding.empty() && SipUri::ToLower(encoding).find("identity") == std::string::npos) {
        reason = "Cannot proceed with encoding types in the Accept-Encoding header field";
        return false;
    }
    return true;
}

std::string SipMessage::SummaryValue(const std::string& name) const
{
    std::string text = WithoutBlanks(SipUri::ToLower(raw_));
    std::size_t at = text.find(name);
    if (at == std::string::npos)
        return {};
    std::size_t start = at + name.size();
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos)
        return {};
    return text.substr(start, end - start);
}

std::string SipMessage::GetMessagesWaiting() const
{
    return SummaryValue("messages-waiting:");
}

std::string SipMessage::GetMessageAccount() const
{
    return SummaryValue("message-account:");
}

bool SipMessage::GetVoiceMessageCounts(VoiceMessageCounts& counts) const
{
    std::string text = WithoutBlanks(SipUri::ToLower(raw_));
    std::size_t at = text.find("voice-message:");
    if (at == std::string::npos)
        return false;
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos)
        return false;
    std::string rest = text.substr(at + 14, end + 2 - (at + 14));
    counts.newCount = TakeCount(rest, '/');
    counts.oldCount = TakeCount(rest, '(');
    counts.newUrgent = TakeCount(rest, '/');
    counts.oldUrgent = TakeCount(rest, ')');
    return true;
}
