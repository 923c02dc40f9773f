#include "jobs/ReplayFit.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "core/PackError.h"
#include "formats/imagepack/OutputNames.h"
#include "jobs/ListedPath.h"
#include "jobs/ResultLog.h"

namespace packsmith {

namespace {

// What the extraction names an entry's picture: its sub-directory, its first name and the
// base name of its alternatives.
struct ExtractedName {
    std::string Type;
    std::string First;
    std::string Base;
};

ExtractedName NameOf(const PackEntry& entry)
{
    const std::string fileName = FileNamePart(entry.Name);
    return {TypeDirectoryName(entry.Name), FirstCandidate(fileName), BaseName(fileName)};
}

// A line split as the extraction writes it: the directory part just before the file name
// ("" for "TARGET//NAME.tga") and the file name.
std::pair<std::string, std::string> Split(const std::string& line)
{
    const auto slash = line.rfind('/');
    if (slash == std::string::npos)
        return {"", line};
    const auto before = slash == 0 ? std::string::npos : line.rfind('/', slash - 1);
    const std::size_t start = before == std::string::npos ? 0 : before + 1;
    return {line.substr(start, slash - start), line.substr(slash + 1)};
}

// The base name of an alternative name (BASE_NNNN.tga, four or more upper-case hexadecimal
// digits); nothing for other names.
std::optional<std::string> AlternativeBase(const std::string& file)
{
    constexpr std::string_view kSuffix = ".tga";
    if (file.size() < kSuffix.size() || file.compare(file.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
        return std::nullopt;
    const std::string stem = file.substr(0, file.size() - kSuffix.size());
    const auto underscore = stem.rfind('_');
    if (underscore == std::string::npos || stem.size() - underscore - 1 < 4)
        return std::nullopt;
    for (std::size_t i = underscore + 1; i < stem.size(); ++i)
        if (!((stem[i] >= '0' && stem[i] <= '9') || (stem[i] >= 'A' && stem[i] <= 'F')))
            return std::nullopt;
    return stem.substr(0, underscore);
}

bool IsNameOf(const ExtractedName& name, const std::string& type, const std::string& file,
              const std::optional<std::string>& base)
{
    return type == name.Type && (file == name.First || (base && *base == name.Base));
}

// Whether a file name is one the extraction gives a picture, NAME.tga in the folder named
// after NAME's extension, whichever entry NAME was.
bool LooksExtracted(const std::string& type, const std::string& file)
{
    constexpr std::string_view kSuffix = ".tga";
    if (file.size() <= kSuffix.size() || file.compare(file.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
        return false;
    const std::string typeOfName = TypeDirectoryName(file.substr(0, file.size() - kSuffix.size()));
    return !typeOfName.empty() && typeOfName == type;
}

std::string EntryText(std::size_t index, const PackEntry& entry)
{
    return "entry " + std::to_string(index + 1) + " \"" + PrintableName(entry.Name) + "\"";
}

} // namespace

int ImageLineCount(const StringList& lines, int firstLine, std::size_t entryCount)
{
    int end = firstLine;
    while (end < lines.Count() && !IsKeywordLine(lines.At(end)))
        ++end;
    // Blank lines at the end beyond the last entry are an editor's, not pictures.
    const std::int64_t lastEntryLine = firstLine + static_cast<std::int64_t>(entryCount);
    while (end > lastEntryLine && lines.At(end - 1).find_first_not_of(" \t") == std::string::npos)
        --end;
    return end - firstLine;
}

void CheckLogFitsPack(const std::string& packPath, const std::vector<PackEntry>& entries, const StringList& lines,
                      int firstLine)
{
    const std::string doesNotFit = "The log no longer fits " + packPath + ": ";
    std::vector<ExtractedName> names;
    std::set<std::pair<std::string, std::string>> firsts, bases;
    for (const PackEntry& entry : entries) {
        names.push_back(NameOf(entry));
        firsts.emplace(names.back().Type, names.back().First);
        bases.emplace(names.back().Type, names.back().Base);
    }

    const int count = ImageLineCount(lines, firstLine, entries.size());
    const std::size_t listed = std::min<std::size_t>(static_cast<std::size_t>(count), entries.size());
    for (std::size_t i = 0; i < listed; ++i) {
        const std::string& line = lines.At(firstLine + static_cast<int>(i));
        const auto [type, file] = Split(ListedPathForm(line));
        const auto base = AlternativeBase(file);
        if (IsNameOf(names[i], type, file, base))
            continue;
        if (LooksExtracted(type, file) || firsts.count({type, file}) != 0 || (base && bases.count({type, *base}) != 0))
            throw PackError(doesNotFit + EntryText(i, entries[i]) + " is listed as " + line +
                            ", the picture of another entry");
    }
    if (static_cast<std::size_t>(count) != entries.size()) {
        const std::string counts = "it lists " + std::to_string(count) + " pictures for the pack's " +
                                   std::to_string(entries.size()) + " entries";
        if (static_cast<std::size_t>(count) < entries.size())
            throw PackError(doesNotFit + counts + ", none for " + EntryText(listed, entries[listed]));
        throw PackError(doesNotFit + counts + ", and " + lines.At(firstLine + static_cast<int>(entries.size())) +
                        " belongs to none");
    }
}

} // namespace packsmith
