#pragma once

#include "media/MediaLine.h"
#include "platform/MessageWindow.h"
#include "platform/UdpSocket.h"

// Opens `line` on a loopback port nobody used a moment ago, trying again when another
// process took it in between; the port, or 0 when none could be had.
inline int OpenLineOnFreePort(MediaLine& line, MessageWindow& window)
{
    constexpr int Attempts = 20;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        UdpSocket probe;
        probe.Open("127.0.0.1", 0);
        const int port = probe.LocalPort();
        probe.Close();
        if (line.Open(true, "127.0.0.1", port, window) == 0)
            return port;
    }
    return 0;
}
