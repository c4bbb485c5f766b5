#include "platform/MessageLoop.h"
#include "tools/ConsoleHost.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

int main()
{
    std::signal(SIGPIPE, SIG_IGN);
    if (isatty(STDIN_FILENO))
        std::fprintf(stderr, "orvua: one method call per line (e.g. Initialize false 127.0.0.1 5060 ...), "
                             "'wait MS', 'waitfor Event [MS]', 'quit'\n");
    ConsoleHost host(MessageLoop::ForCurrentThread(), stdout);
    return host.Run(STDIN_FILENO);
}
