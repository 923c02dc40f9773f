#include "run/ResultLogFile.h"

#include <algorithm>
#include <set>

#include "core/PackError.h"
#include "core/PathUtils.h"
#include "io/TextFile.h"
#include "jobs/ResultLog.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

// The sources a log lists: what follows "#Source:" and the one character after it, without
// blanks at its end. A log edited by hand may spell the keyword in another case.
std::set<std::string> SourcesOf(const std::vector<std::string>& lines)
{
    const std::string keyword = UpperCaseAscii(kSourceKeyword);
    std::set<std::string> sources;
    for (const std::string& line : lines) {
        const Token token = FirstToken(line);
        if (token.Start == std::string::npos || UpperCaseAscii(token.Text) != keyword)
            continue;
        const std::size_t cut = token.Start + token.Text.size() + 1;
        std::string source = cut < line.size() ? line.substr(cut) : std::string();
        source.erase(source.find_last_not_of(" \t") + 1);
        sources.insert(std::move(source));
    }
    return sources;
}

// Whether the log at path lists a source that the new lines do not. A file that cannot be
// read as a log is left to the writing, which says what is wrong with it.
bool ListsOtherSources(const std::string& path, const std::vector<std::string>& lines)
{
    if (!PathExists(path))
        return false;
    std::set<std::string> earlier;
    try {
        earlier = SourcesOf(ReadTextFile(path));
    } catch (const PackError&) {
        return false;
    }
    const std::set<std::string> own = SourcesOf(lines);
    return std::any_of(earlier.begin(), earlier.end(), [&](const std::string& s) { return own.count(s) == 0; });
}

std::string Alternative(unsigned long n) { return NumberedName("result", n, ".log"); }

} // namespace

WrittenLog WriteResultLog(const std::string& targetDirectory, const std::vector<std::string>& lines)
{
    const std::string path = JoinPath(targetDirectory, kResultLogName);
    const bool keepEarlier = ListsOtherSources(path, lines);
    // A write error says only what went wrong; which file it was about is said here (a
    // message that names a file of the target already says it).
    const auto named = [&](const PackError& e) {
        const std::string about = keepEarlier ? JoinPath(targetDirectory, Alternative(0)) : path;
        return std::string(e.what()).find(targetDirectory) == std::string::npos ? About(about, e.what())
                                                                               : std::string(e.what());
    };
    try {
        if (keepEarlier)
            return {WriteTextFileFree(path, lines, Alternative)};
        try {
            WriteTextFile(path, lines);
        } catch (const PackError&) {
            if (!FileIsHeldOpen(path))
                throw;
            return {WriteTextFileFree(path, lines, Alternative), true};
        }
        return {path};
    } catch (const PackError& e) {
        throw PackError(named(e));
    }
}

} // namespace packsmith
