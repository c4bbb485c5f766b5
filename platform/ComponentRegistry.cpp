#include "platform/ComponentRegistry.h"

#include "platform/UserFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

bool SameName(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string Trimmed(const std::string& text)
{
    std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Creates every missing folder of `path`; true when it exists as a folder at the end.
bool MakeFolders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0700);
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string ComponentRegistry::DefaultPath()
{
    return UserFolders::ConfigHome() + "/orvsip/components.ini";
}

ComponentRegistry::ComponentRegistry(std::string path) : path_(std::move(path)) {}

bool ComponentRegistry::Load()
{
    keys_.clear();
    struct stat info {};
    if (stat(path_.c_str(), &info) != 0)
        return errno == ENOENT;
    if (!S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > MaxFileSize)
        return false;
    std::ifstream file(path_, std::ios::binary);
    if (!file)
        return false;
    std::ostringstream text;
    text << file.rdbuf();
    if (text.str().size() > MaxFileSize)
        return false;
    Parse(text.str());
    return true;
}

void ComponentRegistry::Parse(const std::string& text)
{
    std::istringstream lines(text);
    Key* current = nullptr;
    for (std::string line; std::getline(lines, line);) {
        line = Trimmed(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string name = Trimmed(line.substr(1, line.size() - 2));
            current = Find(name);
            if (current == nullptr && !name.empty()) {
                keys_.push_back({name, {}});
                current = &keys_.back();
            }
            continue;
        }
        std::size_t equals = line.find('=');
        if (current == nullptr || equals == std::string::npos || equals == 0)
            continue;
        std::string name = Trimmed(line.substr(0, equals));
        std::string value = Trimmed(line.substr(equals + 1));
        auto existing = std::find_if(current->values.begin(), current->values.end(),
                                     [&](const auto& entry) { return SameName(entry.first, name); });
        if (existing != current->values.end())
            existing->second = value;
        else
            current->values.emplace_back(name, value);
    }
}

std::string ComponentRegistry::Text() const
{
    std::string text = "; Components of this user, written by their registration functions.\n";
    for (const Key& key : keys_) {
        text += "\n[" + key.name + "]\n";
        for (const auto& [name, value] : key.values)
            text += name + "=" + value + "\n";
    }
    return text;
}

bool ComponentRegistry::Save() const
{
    std::size_t slash = path_.rfind('/');
    if (slash == std::string::npos || !MakeFolders(path_.substr(0, slash)))
        return false;
    std::string temporary = path_ + ".new." + std::to_string(getpid());
    std::string text = Text();
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fflush(file) == 0 && fsync(fileno(file)) == 0 && written;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

ComponentRegistry::Key* ComponentRegistry::Find(const std::string& key)
{
    auto found = std::find_if(keys_.begin(), keys_.end(), [&](const Key& entry) { return SameName(entry.name, key); });
    return found != keys_.end() ? &*found : nullptr;
}

const ComponentRegistry::Key* ComponentRegistry::Find(const std::string& key) const
{
    return const_cast<ComponentRegistry*>(this)->Find(key);
}

bool ComponentRegistry::SetKey(const std::string& key, Values values)
{
    // Line breaks would end the value and start a forged key when read back.
    auto isLineBreak = [](char c) { return c == '\n' || c == '\r'; };
    if (key.empty() || std::any_of(key.begin(), key.end(), isLineBreak) || key.find(']') != std::string::npos)
        return false;
    for (auto& [name, value] : values) {
        std::erase_if(name, [&](char c) { return isLineBreak(c) || c == '='; });
        std::erase_if(value, isLineBreak);
    }
    if (Key* existing = Find(key))
        existing->values = std::move(values);
    else
        keys_.push_back({key, std::move(values)});
    return true;
}

bool ComponentRegistry::RemoveKey(const std::string& key)
{
    return std::erase_if(keys_, [&](const Key& entry) { return SameName(entry.name, key); }) > 0;
}

bool ComponentRegistry::HasKey(const std::string& key) const
{
    return Find(key) != nullptr;
}

std::string ComponentRegistry::Value(const std::string& key, const std::string& name) const
{
    const Key* found = Find(key);
    if (found == nullptr)
        return {};
    for (const auto& [valueName, value] : found->values) {
        if (SameName(valueName, name))
            return value;
    }
    return {};
}
