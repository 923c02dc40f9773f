#include "platform/SharedLibrary.h"

#include "platform/windows/Win32.h"

namespace packsmith {

SharedLibrary::SharedLibrary(const std::string& path)
{
    // Only a full path is loaded, never a name looked up along the search path or in the
    // current directory; the library's own dependencies are looked for beside it first.
    const bool full = path.size() > 2 && (path[1] == ':' || path.starts_with("//") || path.starts_with("\\\\"));
    if (full)
        handle_ = LoadLibraryExW(win32::SystemPath(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

SharedLibrary::~SharedLibrary()
{
    if (handle_ != nullptr)
        FreeLibrary(static_cast<HMODULE>(handle_));
}

void* SharedLibrary::Entry(const char* name) const
{
    if (handle_ == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string SharedLibraryFileName(std::string_view base) { return std::string(base) + ".dll"; }

std::string ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string folder = win32::Utf8(path);
    for (char& c : folder)
        if (c == '\\')
            c = '/';
    return folder.substr(0, folder.rfind('/'));
}

} // namespace packsmith
