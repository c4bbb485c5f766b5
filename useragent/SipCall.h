#pragma once

#include "useragent/RetransmitTable.h"
#include "useragent/SipDialog.h"

#include <memory>
#include <string>
#include <vector>

class SipUserAgent;

// One call: its dialog, its retransmissions and what it remembers of the messages
// exchanged. Lives on a line, or in the engine's pending list while it rings.
class SipCall : public RetransmitTable {
public:
    SipCall(SipUserAgent& agent, int lineNo);

    SipDialog& Dialog() { return *dialog_; }
    const SipDialog& Dialog() const { return *dialog_; }
    int State() const { return dialog_->state; }
    int LineNo() const { return lineNo_; }
    void SetLineNo(int lineNo) { lineNo_ = lineNo; }
    int LastError() const { return lastError_; }

    // Runs the in-dialog checks on a request of this call and answers a bad one;
    // false when the request must not be processed further.
    bool CheckInDialog(const std::string& text);
    // Drops the call without waiting for answers.
    void HangUp();

protected:
    void SendEntry(const std::string& text, const std::string& host, int port) override;
    void OnSlotTimeout(int slot, const std::string& text, const std::string& host, int port) override;

private:
    void Reset();
    void SendTwice(const OutgoingMessage& message);

    SipUserAgent& agent_;
    std::unique_ptr<SipDialog> dialog_;
    int lineNo_;
    int lastError_ = 0;
    std::string inviteBranch_;
};
