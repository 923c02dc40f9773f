#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace packsmith {

SharedLibrary::SharedLibrary(const std::string& path)
{
    // dlopen looks a name without a "/" up along the search path.
    if (path.find('/') != std::string::npos)
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

SharedLibrary::~SharedLibrary()
{
    if (handle_ != nullptr)
        dlclose(handle_);
}

void* SharedLibrary::Entry(const char* name) const { return handle_ != nullptr ? dlsym(handle_, name) : nullptr; }

std::string SharedLibraryFileName(std::string_view base) { return "lib" + std::string(base) + ".so"; }

std::string ProgramFolder()
{
    std::error_code ec;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : program.parent_path().string();
}

} // namespace packsmith
