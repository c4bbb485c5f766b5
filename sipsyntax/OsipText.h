#pragma once

#include <string>

// Takes ownership of a string printed by the SIP parser library and returns it as a
// std::string; a null pointer gives an empty string.
class OsipText {
public:
    static std::string Take(char* printed);
    static char* Copy(const std::string& text);
};
