#include "sipsyntax/OsipText.h"

#include <osipparser2/osip_port.h>

std::string OsipText::Take(char* printed)
{
    if (printed == nullptr)
        return {};
    std::string text(printed);
    osip_free(printed);
    return text;
}

char* OsipText::Copy(const std::string& text)
{
    return osip_strdup(text.c_str());
}
