#pragma once

// SIGTERM (another copy closing this one, a logout, a service stop) as a descriptor
// that becomes readable, so that the program's message loop ends it in order instead
// of the signal ending it in the middle of anything.
class TerminationSignal {
public:
    // Installs the handler on first use; the descriptor never changes afterwards.
    static int Descriptor();
};
