#include "core/PathUtils.h"

#include <cstdio>

#include "core/PackError.h"

namespace packsmith {

namespace {

std::size_t FileNameStart(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? 0 : slash + 1;
}

// Index of the extension's "." in path, or npos when the file name has none.
std::size_t ExtensionStart(std::string_view path)
{
    const auto dot = path.rfind('.');
    return dot != std::string_view::npos && dot >= FileNameStart(path) ? dot : std::string_view::npos;
}

} // namespace

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(FileNameStart(path))); }

std::string ExtractFileExt(std::string_view path)
{
    const auto dot = ExtensionStart(path);
    return dot == std::string_view::npos ? std::string() : std::string(path.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext)
{
    std::string result(path.substr(0, ExtensionStart(path)));
    result += ext;
    return result;
}

std::string UpperCaseAscii(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

std::string JoinPath(std::string_view directory, std::string_view name)
{
    std::string result(directory);
    result += '/';
    result += name;
    return result;
}

std::string NumberedName(std::string_view base, unsigned long n, std::string_view extension)
{
    char digits[24];
    std::snprintf(digits, sizeof digits, "_%04lX", n);
    std::string name(base);
    name += digits;
    name += extension;
    return name;
}

bool IsWindowsAbsolutePath(std::string_view path)
{
    const auto separator = [&](std::size_t i) { return i < path.size() && (path[i] == '/' || path[i] == '\\'); };
    const bool drive = path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && separator(2);
    const bool share = separator(0) && separator(1) && path.size() > 2 && !separator(2);
    return drive || share;
}

} // namespace packsmith
