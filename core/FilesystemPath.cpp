#include "core/FilesystemPath.h"

#include "core/WideText.h"

namespace packsmith {

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
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

// A path such as "/games" names a folder of the current drive on Windows, but it does start
// at a root there too: joined to a folder, it keeps only that folder's drive.
bool IsAbsolutePath(std::string_view path) { return FilesystemPath(path).has_root_directory(); }

} // namespace packsmith
