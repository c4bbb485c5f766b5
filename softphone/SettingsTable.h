#pragma once

#include <vector>

// Every setting of TARN.INI, one row each: where the value lives in the file, the field
// of the settings dialog that holds it and how it is stored. Loading, saving, the
// snapshot a cancelled edit goes back to, and the dialog's fields are all made from
// this one list: a new setting is a new row (a field it names that no page places
// goes at the end of its page).
class SettingsTable {
public:
    enum class Kind {
        Text,       // a text box, stored as typed
        Secret,     // a text box shown as "*"
        Position,   // a device list's position: 0 "Default Device", -1 none
        DeviceName, // the same list's text, for people reading the file; never read back
        Check,      // a check box: 0 or 1 (2, greyed elsewhere, reads as ticked)
        Option,     // an option button: True or False
        Choice,     // a list of fixed choices: the position of the one chosen
    };

    enum Page { SipPage = 1, AudioPage = 2, CtiPage = 3, GeneralPage = 4 };

    struct Row {
        const char* section;
        const char* key;
        Kind kind;
        // The object name of the dialog's field; one list serves a Position and a
        // DeviceName row.
        const char* field;
        const char* caption;
        Page page;
        // The field's value before any file is loaded, and for a Choice that a file
        // from before the setting existed lacks.
        const char* initial;
        // A Choice's captions, separated by '|'.
        const char* choices = nullptr;
    };

    // In the order of the file: the order saving writes them and loading reads them.
    static const std::vector<Row>& Rows();
};
