#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/FileContents.h"
#include "jobs/JobHost.h"
#include "jobs/RunContext.h"

namespace packsmith {

using FormatCode = std::uint8_t;

// The format of an empty job list, before anything was added.
inline constexpr FormatCode kFormatNone = 0;

// What a run does with the jobs of a format.
enum class JobKind {
    Extract, // writes outputs, then "result.log" naming them
    Replay,  // rebuilds what a result log names; writes no log of its own
    Pack,    // packs sound files; writes no log
};

using JobFunction = void (*)(const std::string& path, RunContext& run, JobHost& host);

// One format (job kind) of the job list. Every place that needs to know a format (the
// open dialog, the -f names of packsmith-cli, the result log, the replay and the run)
// takes it from this one table.
struct Format {
    FormatCode Code;
    std::string_view LogName;   // after "#Format: " in the result log; "" for the logs
    std::string_view Filter;    // the open dialog's filter, "Description (*.ext)"
    std::string_view Option;    // the name packsmith-cli's -f takes
    std::string_view Extension; // with its ".", compared without regard to ASCII case
    JobKind Kind;
    bool LogsOutputs;           // the result log lists each file a job wrote under its source
    bool ListsJobs;             // adding such a file makes its lines the job list
    JobFunction Job;            // runs one job of the format
    RebuildFunction Rebuild;    // what replaying the format's log lines does; null: nothing
    ListFunction List;          // what a file of the format holds, for a listing; null: none
    FormatCode Packs;           // for packing: the format of the file a job makes; else kFormatNone
};

inline constexpr std::size_t kFormatCount = 7;

// In the open dialog's order: a filter's 1-based position is its index here + 1. A project
// list is code 5 and a log file code 4, against their positions 4 and 5.
const std::array<Format, kFormatCount>& Formats();

// The format of a code; null for a code no format has (kFormatNone among them).
const Format* FormatByCode(FormatCode code);
// The format at a 1-based filter position; "List index out of bounds (%d)" outside 1 to 5.
const Format& FormatAtFilter(int position);
// The 1-based filter position of a format.
int FilterPosition(const Format& format);
// The format whose extension the file has; null when none or several have it (".wav" may
// be packed either way).
const Format* FormatForFile(std::string_view path);
// Whether several formats take files of this extension (".wav", packed either way).
bool ExtensionIsShared(std::string_view path);
// Every format that takes files of the file's extension, in the table's order.
std::vector<const Format*> FormatsTaking(std::string_view path);
// Whether the format takes files of the file's extension (shared or not).
bool FormatTakes(const Format& format, std::string_view path);
// What a format's files are called in the open dialog: its filter without the pattern
// ("Packed WAV" for "Packed WAV (*.wac)").
std::string_view FormatDescription(const Format& format);
// The format of a -f name; null when none has it.
const Format* FormatByOption(std::string_view option);
// The -f names in the table's order, for messages and help texts: OptionNames(", ", " or ")
// is "wac, was, at3, lst or log".
std::string OptionNames(std::string_view separator, std::string_view lastSeparator);
// The extensions of the formats, each once: ExtensionNames(", ", " and ") is
// ".wac, .was, .at3, .lst, .log and .wav".
std::string ExtensionNames(std::string_view separator, std::string_view lastSeparator);
// The rebuild that replaying lines under "#Format: logName" calls; null when there is none.
RebuildFunction RebuildFor(std::string_view logName);

} // namespace packsmith
