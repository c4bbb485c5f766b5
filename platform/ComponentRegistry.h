#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// The per-user component registry: a text file of keys, each holding named values,
// that stands in for the system registry's class, ProgID and type-library entries.
// Keys and value names compare without regard to case, as registry keys do.
class ComponentRegistry {
public:
    using Values = std::vector<std::pair<std::string, std::string>>;

    // A registry file larger than this is not read: it is not ours.
    static constexpr std::size_t MaxFileSize = 1 << 20;

    // $XDG_CONFIG_HOME/orvsip/components.ini; ~/.config when the variable is unset,
    // empty or not an absolute path.
    static std::string DefaultPath();

    explicit ComponentRegistry(std::string path = DefaultPath());

    // Reads the file; a missing file is an empty registry. false when the file
    // exists but cannot be read, or is too large.
    bool Load();
    // Writes a temporary file beside the registry and renames it over the old one,
    // creating the folder first: the file is either the old one or the new one.
    bool Save() const;

    // Replaces the key's values (a new key goes to the end). A key name holding a
    // line break or "]" is refused (false); line breaks are dropped from names and values.
    bool SetKey(const std::string& key, Values values);
    bool RemoveKey(const std::string& key);
    bool HasKey(const std::string& key) const;
    // Empty when the key or the value is absent.
    std::string Value(const std::string& key, const std::string& name) const;
    const std::string& Path() const { return path_; }

private:
    struct Key {
        std::string name;
        Values values;
    };

    void Parse(const std::string& text);
    std::string Text() const;
    Key* Find(const std::string& key);
    const Key* Find(const std::string& key) const;

    std::string path_;
    std::vector<Key> keys_;
};
