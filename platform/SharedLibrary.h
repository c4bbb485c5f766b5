#pragma once

#include <string>

// A shared library loaded at run time, as a host loads a component's library.
class SharedLibrary {
public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads the library with every symbol bound at once. A library opened with
    // keepLoaded stays in the process after this object goes (objects it created
    // may outlive the loader).
    bool Open(const std::string& path, bool keepLoaded = false);
    bool IsOpen() const { return handle_ != nullptr; }
    // nullptr when the library does not define the symbol.
    void* Symbol(const char* name) const;
    // The loader's reason for the last failure.
    const std::string& Error() const { return error_; }

    // The absolute path of the library or program that holds `address`; empty when
    // it cannot be told.
    static std::string PathOf(const void* address);
    // Whether both paths lead to one existing file.
    static bool SameFile(const std::string& a, const std::string& b);

private:
    void* handle_ = nullptr;
    std::string error_;
};
