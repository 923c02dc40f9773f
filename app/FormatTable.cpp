#include "app/FormatTable.h"

#include <algorithm>

#include "formathandlers/handlers/ExtractAt3.h"
#include "formathandlers/handlers/ExtractWac.h"
#include "formathandlers/handlers/ExtractWas.h"
#include "formathandlers/handlers/PackSound.h"
#include "formathandlers/handlers/RebuildAt3.h"
#include "formathandlers/handlers/ReplayLog.h"
#include "io/PackError.h"
#include "io/PathUtils.h"

namespace packsmith {

namespace {

constexpr std::array<Format, kFormatCount> kFormats{{
    {1, "WAC", "Packed WAV (*.wac)", "wac", ".wac", JobKind::Extract, false, false, ExtractWac, RebuildWac},
    {2, "WAS", "Packed Music (*.was)", "was", ".was", JobKind::Extract, false, false, ExtractWas, RebuildWas},
    {3, "AT3", "Image Pack (*.at3)", "at3", ".at3", JobKind::Extract, true, false, ExtractAt3, RebuildAt3},
    {5, "", "Project list files (*.lst)", "lst", ".lst", JobKind::Replay, false, true, ReplayLog, nullptr},
    {4, "", "Log files (*.log)", "log", ".log", JobKind::Replay, false, false, ReplayLog, nullptr},
    {6, "", "Wave to Packed WAV (*.wav)", "pack-wac", ".wav", JobKind::Pack, false, false, PackWac, nullptr},
    {7, "", "Wave to Packed Music (*.wav)", "pack-was", ".wav", JobKind::Pack, false, false, PackWas, nullptr},
}};

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

const Format* FormatForFile(std::string_view path)
{
    const std::string extension = UpperCaseAscii(ExtractFileExt(path));
    if (extension.empty())
        return nullptr;
    const Format* found = nullptr;
    for (const Format& format : kFormats) {
        if (UpperCaseAscii(format.Extension) != extension)
            continue;
        if (found != nullptr)
            return nullptr;
        found = &format;
    }
    return found;
}

bool ExtensionIsShared(std::string_view path)
{
    const std::string extension = UpperCaseAscii(ExtractFileExt(path));
    return !extension.empty() && std::count_if(kFormats.begin(), kFormats.end(), [&](const Format& format) {
        return UpperCaseAscii(format.Extension) == extension;
    }) > 1;
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
    std::string names;
    for (std::size_t i = 0; i < kFormats.size(); ++i) {
        if (i > 0)
            names += i + 1 == kFormats.size() ? lastSeparator : separator;
        names += kFormats[i].Option;
    }
    return names;
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
