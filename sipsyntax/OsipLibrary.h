#pragma once

// The parser library's one-time set-up: its parser tables, and its trace output
// turned off (it would otherwise print on the host's standard output).
class OsipLibrary {
public:
    static void Prepare();
};
