#pragma once

#include <optional>
#include <string>

// What a failed control call tells a CTI client: the record for an error code of
// the control, or nothing for the codes that are not reported.
class ControlErrorTable {
public:
    struct Report {
        std::string command;
        std::string message;
    };

    static std::optional<Report> ReportFor(int code);
    // The message a socket reply carries: the record's message, or a text of its own
    // for the codes that no record reports.
    static std::string ReplyMessageFor(int code);
};
