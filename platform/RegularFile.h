#pragma once

#include <optional>
#include <string>

// Opening for reading a file that must be a regular one: a directory, FIFO or
// device in its place is refused at once rather than read or waited for, and a
// symbolic link is never followed (someone else's link must not make us read the
// file it names).
class RegularFile {
public:
    // A descriptor the caller closes, or -1.
    static int OpenForReading(const std::string& path);
    // Appends `text` to a regular file of the owner alone, made (0600) when missing,
    // group and others losing their rights when not; a link, FIFO or device in its
    // place is refused. False when not all was written.
    static bool AppendPrivately(const std::string& path, const std::string& text);
    // Takes every right of group and others away from an existing regular file (not
    // through a link); false when it cannot. A missing file is left missing (true).
    static bool MakeOwnerOnly(const std::string& path);
    // Renames the file (whatever it is) to `path` + `suffix` + a random tail that names
    // nothing yet, never replacing anything: nothing put in the folder beforehand can
    // stop it. The new name, or nothing when the file is gone or cannot be renamed.
    static std::optional<std::string> RenameToFreshName(const std::string& path, const std::string& suffix);
};
