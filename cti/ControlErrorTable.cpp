#include "cti/ControlErrorTable.h"

#include <map>

std::optional<ControlErrorTable::Report> ControlErrorTable::ReportFor(int code)
{
    static const std::map<int, Report> reports = {
        {10, {"nErr", "You are not Online"}},
        {11, {"ERROR", "Cann't open communication port."}},
        {13, {"ERROR", "Fail to initialize."}},
        {14, {"ERROR", "Cann't access Input/Mic device or device is already in use."}},
        {15, {"ERROR", "Cann't access Output/Speaker device or device is already in use."}},
        {16, {"ERROR", "Input/Mic device is not open."}},
        {17, {"ERROR", "Output/Speaker device is not open."}},
        {18, {"ERROR", "Your sound device does not support mic volume."}},
        {19, {"ERROR", "Your sound device does not support speaker volume."}},
        {22, {"ERROR", "Provided SIP URI is not valid."}},
        {23, {"ERROR", "Codec is not supported."}},
        {24, {"ERROR", "Error to create SDP (Session Description Protocol) request."}},
        {25, {"ERROR", "Error to create CONNECTION request. Please check the provided SIP URI is valid."}},
        {26, {"ERROR", "nErr to create REGISTER request. Please check the provided SIP URI is valid."}},
        {27, {"ERROR", "nErr to create UN-REGISTER request. Please check the provided SIP URI is valid."}},
        {28, {"ERROR", "nErr to create DISCONNECT request."}},
        {29, {"ERROR", "Line No is not valid."}},
        {30, {"ERROR", "Line is already busy."}},
        {31, {"ERROR", "Line is not open."}},
        {34, {"ERROR", "Line is not in voice session."}},
        {40, {"ERROR", "called from a thread other than the one that created the control"}},
        {41, {"ERROR", "the call needs media encryption that cannot be had"}},
    };
    const auto found = reports.find(code);
    if (found == reports.end())
        return std::nullopt;
    return found->second;
}

std::string ControlErrorTable::ReplyMessageFor(int code)
{
    if (const auto report = ReportFor(code))
        return report->message;
    static const std::map<int, std::string> unreported = {
        {20, "The recording file could not be created."},
        {21, "The recording could not be saved."},
        {32, "No pending incoming call."},
        {33, "The record-voice selector is out of range."},
        {35, "The wave file is not readable."},
        {36, "The wave file could not be written."},
        {37, "The wave file could not be converted."},
        {38, "The CANCEL request could not be created."},
    };
    const auto found = unreported.find(code);
    return found != unreported.end() ? found->second : "The control failed with code " + std::to_string(code) + ".";
}
