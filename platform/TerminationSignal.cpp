#include "platform/TerminationSignal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = {-1, -1};

void OnTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(pipeEnds[1], &byte, 1);
}

int Install()
{
    if (pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC) != 0)
        return -1;
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    return pipeEnds[0];
}

} // namespace

int TerminationSignal::Descriptor()
{
    static const int descriptor = Install();
    return descriptor;
}
