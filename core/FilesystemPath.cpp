#include "core/FilesystemPath.h"

#include <algorithm>

#include "core/WideText.h"

namespace packsmith {

namespace {

#ifdef _WIN32
bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// The length of the "\\server\share" that starts a network path; 0 for any other path.
std::size_t NetworkRootLength(const std::wstring& path)
{
    if (path.size() < 3 || !IsSeparator(path[0]) || !IsSeparator(path[1]) || IsSeparator(path[2]))
        return 0;
    std::size_t end = 2;
    for (int part = 0; part < 2 && end < path.size(); ++part) {
        if (part == 1)
            ++end; // the separator between server and share
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
    }
    return end;
}
#endif

} // namespace

std::filesystem::path FilesystemPath(std::string_view path)
{
#ifdef _WIN32
    // Also names that are not UTF-8, as stored in packs; std::filesystem would refuse those.
    const std::u16string wide = WideText(path);
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
#else
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
#endif
}

std::string PathText(const std::filesystem::path& path)
{
#ifdef _WIN32
    // The generic form would merge the two slashes that start a network path.
    std::u8string text = path.u8string();
    std::replace(text.begin(), text.end(), u8'\\', u8'/');
    return std::string(text.begin(), text.end());
#else
    return path.native(); // as it stands: the generic form would merge doubled slashes
#endif
}

std::filesystem::path NormalPath(const std::filesystem::path& path)
{
#ifdef _WIN32
    const std::wstring& text = path.native();
    if (const std::size_t root = NetworkRootLength(text); root != 0) {
        std::wstring normal = L"\\\\" + text.substr(2, root - 2);
        std::replace(normal.begin(), normal.end(), L'/', L'\\');
        // The rest starts at the share's root, above which ".." leads nowhere.
        const std::wstring rest = std::filesystem::path(L"\\" + text.substr(root)).lexically_normal().native();
        if (rest != L"\\")
            normal += rest;
        return std::filesystem::path(normal);
    }
#endif
    return path.lexically_normal();
}

std::string AbsolutePath(std::string_view path, std::error_code& ec)
{
    const std::filesystem::path given = FilesystemPath(path);
#ifdef _WIN32
    if (NetworkRootLength(given.native()) != 0) {
        ec.clear();
        return PathText(NormalPath(given));
    }
#endif
    const std::filesystem::path absolute = std::filesystem::absolute(given, ec);
    return ec ? std::string(path) : PathText(NormalPath(absolute));
}

void CreateDirectories(std::string_view path, std::error_code& ec)
{
    const std::filesystem::path made = FilesystemPath(path);
#ifdef _WIN32
    // Folder by folder below the share, each by its whole path.
    if (const std::size_t root = NetworkRootLength(made.native()); root != 0) {
        const std::wstring& text = made.native();
        ec.clear();
        for (std::size_t end = root + 1; end <= text.size(); ++end) {
            if (end < text.size() && !IsSeparator(text[end]))
                continue;
            std::error_code step;
            std::filesystem::create_directory(std::filesystem::path(text.substr(0, end)), step);
            if (step && !std::filesystem::is_directory(std::filesystem::path(text.substr(0, end))))
                ec = step;
        }
        return;
    }
#endif
    std::filesystem::create_directories(made, ec);
}

std::string ProgramPath(std::string_view path)
{
    std::string text(path);
#ifdef _WIN32
    std::replace(text.begin(), text.end(), '\\', '/');
#endif
    return text;
}

// A path such as "/games" names a folder of the current drive on Windows, but it does start
// at a root there too: joined to a folder, it keeps only that folder's drive.
bool IsAbsolutePath(std::string_view path) { return FilesystemPath(path).has_root_directory(); }

} // namespace packsmith
