#pragma once

// What the sound libraries print while PortAudio probes its back ends: ALSA's
// configuration errors for cards that are not there, JACK's "server is not
// running". A user who did not ask for diagnostics sees none of it; with
// ORVSIP_DEBUG=1 the libraries print as they always do. Only the libraries' own
// message functions are replaced: standard error stays open for everything else.
class SoundLibraryMessages {
public:
    // Before the first Pa_Initialize; later calls change nothing.
    static void Configure();
    static bool DebugRequested();
};
