#pragma once

#include "media/RtpSocket.h"

#include <mutex>
#include <string>

class MessageWindow;

// The media session of one call line: its RTP socket and stream state. One lock
// guards it, taken before any lock of its parts.
class MediaLine {
public:
    explicit MediaLine(int lineNo) : lineNo_(lineNo) {}

    int LineNo() const { return lineNo_; }
    // Returns a media error code (0 when the line is open).
    int Open(bool bindToIp, const std::string& ip, int port, MessageWindow& window);
    void Close();
    bool IsOpen();
    bool IsHold();
    std::string LocalAddress();
    int LocalPort();
    // Called for readiness of `fd`; false when the socket is not this line's.
    bool OnReadable(int fd);

    void StartMedia(const std::string& remoteIp, int remotePort, int codec, int payloadType, bool send,
                    bool receive);
    void StopMedia(bool disableSend, bool disableReceive);
    void SetHold(bool hold);
    int OutboundCodec();
    int InboundCodec();

    // What a line holds while a call uses it, for tests and diagnostics.
    struct MediaState {
        std::string remoteIp;
        int remotePort = 0;
        int outboundCodec = -1;
        int outboundPayloadType = -1;
        int inboundCodec = -1;
        bool sendEnabled = false;
        bool receiveEnabled = false;
    };
    MediaState State();

private:
    void CloseLocked();

    const int lineNo_;
    std::mutex mutex_;
    RtpSocket socket_;
    bool open_ = false;
    bool hold_ = false;
    std::string localAddress_;
    int localPort_ = -1;
    MediaState media_;
};
