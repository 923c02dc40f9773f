#pragma once

#include <string>
#include <string_view>

namespace packsmith {

// A shared library loaded from a full path (a name without a folder is never looked up
// along a search path or in the current directory), unloaded when the object goes.
class SharedLibrary {
public:
    // Loaded() tells whether it could be loaded.
    explicit SharedLibrary(const std::string& path);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    // The address of an exported entry point; null when the library has none of the name.
    void* Entry(const char* name) const;

private:
    void* handle_ = nullptr;
};

// The file name of the shared library called base on this system ("libtarga.so").
std::string SharedLibraryFileName(std::string_view base);
// The folder the running program is in; "" when the system does not say.
std::string ProgramFolder();

} // namespace packsmith
