#include "jobs/FormatTable.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/PackError.h"
#include "core/PathUtils.h"
#include "jobs/ExtractAt3.h"
#include "jobs/ExtractWac.h"
#include "jobs/ExtractWas.h"
#include "jobs/FileContents.h"
#include "jobs/PackSound.h"
#include "jobs/RebuildAt3.h"
#include "jobs/ReplayLog.h"

namespace packsmith {

namespace {

constexpr std::array<Format, kFormatCount> kFormats{{
    {1, "WAC", "Packed WAV (*.wac)", "wac", ".wac", JobKind::Extract, false, false, ExtractWac, RebuildWac, ListWac, kFormatNone},
    {2, "WAS", "Packed Music (*.was)", "was", ".was", JobKind::Extract, false, false, ExtractWas, RebuildWas, ListWas, kFormatNone},
    {3, "AT3", "Image Pack (*.at3)", "at3", ".at3", JobKind::Extract, true, false, ExtractAt3, RebuildAt3, ListAt3, kFormatNone},
    {5, "", "Project list files (*.lst)", "lst", ".lst", JobKind::Replay, false, true, ReplayLog, nullptr, nullptr, kFormatNone},
    {4, "", "Log files (*.log)", "log", ".log", JobKind::Replay, false, false, ReplayLog, nullptr, nullptr, kFormatNone},
    {6, "", "Wave to Packed WAV (*.wav)", "pack-wac", ".wav", JobKind::Pack, false, false, PackWac, nullptr, nullptr, 1},
    {7, "", "Wave to Packed Music (*.wav)", "pack-was", ".wav", JobKind::Pack, false, false, PackWas, nullptr, nullptr, 2},
}};

// "a, b and c": the words with separator between them and lastSeparator before the last.
template <class Words>
std::string Enumeration(const Words& words, std::string_view separator, std::string_view lastSeparator)
{
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0)
            text += i + 1 == words.size() ? lastSeparator : separator;
        text += words[i];
    }
    return text;
}

} // namespace

const std::array<Format, kFormatCount>& Formats() { return kFormats; }

const Format* FormatByCode(FormatCode code)
{
    for (const Format& format : kFormats)
        if (format.Code == code)
            return &format;
    return nullptr;
}

const Format& FormatAtFilter(int position)
{
    if (position < 1 || position > static_cast<int>(kFormats.size()))
        ThrowListIndex(position);
    return kFormats[static_cast<std::size_t>(position - 1)];
}

int FilterPosition(const Format& format) { return static_cast<int>(&format - kFormats.data()) + 1; }

bool FormatTakes(const Format& format, std::string_view path)
{
    const std::string extension = UpperCaseAscii(ExtractFileExt(path));
    return !extension.empty() && UpperCaseAscii(format.Extension) == extension;
}

std::vector<const Format*> FormatsTaking(std::string_view path)
{
    std::vector<const Format*> formats;
    for (const Format& format : kFormats)
        if (FormatTakes(format, path))
            formats.push_back(&format);
    return formats;
}

const Format* FormatForFile(std::string_view path)
{
    const auto formats = FormatsTaking(path);
    return formats.size() == 1 ? formats.front() : nullptr;
}

bool ExtensionIsShared(std::string_view path) { return FormatsTaking(path).size() > 1; }

std::string_view FormatDescription(const Format& format)
{
    const std::size_t pattern = format.Filter.rfind(" (");
    return pattern == std::string_view::npos ? format.Filter : format.Filter.substr(0, pattern);
}

const Format* FormatByOption(std::string_view option)
{
    for (const Format& format : kFormats)
        if (format.Option == option)
            return &format;
    return nullptr;
}

std::string OptionNames(std::string_view separator, std::string_view lastSeparator)
{
    std::vector<std::string_view> names;
    for (const Format& format : kFormats)
        names.push_back(format.Option);
    return Enumeration(names, separator, lastSeparator);
}

std::string ExtensionNames(std::string_view separator, std::string_view lastSeparator)
{
    std::vector<std::string_view> extensions;
    for (const Format& format : kFormats)
        if (std::find(extensions.begin(), extensions.end(), format.Extension) == extensions.end())
            extensions.push_back(format.Extension);
    return Enumeration(extensions, separator, lastSeparator);
}

RebuildFunction RebuildFor(std::string_view logName)
{
    // The logs have no name of their own, so an empty name selects nothing.
    for (const Format& format : kFormats)
        if (!format.LogName.empty() && format.LogName == logName)
            return format.Rebuild;
    return nullptr;
}

} // namespace packsmith
