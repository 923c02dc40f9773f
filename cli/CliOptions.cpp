#include "cli/CliOptions.h"

#include <map>
#include <optional>

#include "platform/StopSignal.h"

namespace packsmith {

std::string CliUsage()
{
    return "Usage: packsmith-cli [-q] [-j N] [-f " + OptionNames("|", "|") +
           "] -o TARGET_DIR FILE...\n"
           "       packsmith-cli [-q] [-j N] [--compress exact|lossy|raw] -o TARGET_DIR LOG...\n"
           "       packsmith-cli [-q] --pack wac|was [--like SOURCE] -o TARGET_DIR FILE...\n"
           "       packsmith-cli --list [--json] [--only PATTERN]... FILE...\n"
           "Extracts packed audio (.wac, .was) and image packs (.at3) into TARGET_DIR, or\n"
           "rebuilds packs and packed sound there by replaying result logs (.log) and project\n"
           "lists (.lst), or packs sound files (.wav, .flac, .ogg, ...) into packed audio.\n"
           "\n"
           "  -f FORMAT   the format of every FILE; without it, the one whose extension\n"
           "              the first FILE has\n"
           "  --pack wac|was  pack every FILE into a .wac or .was of its name\n"
           "  --like SOURCE   with --pack: take the rate, channels and leading bytes of the\n"
           "                  packed file SOURCE (without it: the FILE's own, up to 2 channels)\n"
           "  -o DIR      the target directory, created with its missing parents\n"
           "  --compress exact|lossy|raw  how a replay stores each edited picture: exact\n"
           "              (the default) a compressed record where it decodes to the very\n"
           "              picture, a raw one otherwise; lossy a compressed record, as close\n"
           "              as it can hold (the results say how close, in dB); raw four bytes\n"
           "              a pixel always. Where a compressed record would be larger than\n"
           "              the raw one, the raw one is stored. A picture of another size\n"
           "              than its entry's is compressed in every coding, or refused when\n"
           "              it cannot be\n"
           "  --only PATTERN  extract (or list) only the entries of image packs whose stored\n"
           "              name matches the shell pattern (*, ?, [...]; case is ignored and \\\n"
           "              is a character, as in stored names); may be given more than once.\n"
           "              The result log keeps an empty line for each entry left out, so\n"
           "              that replaying it keeps their records\n"
           "  --list      print what each FILE holds instead of extracting: per entry of a\n"
           "              pack its index, stored name, the file extraction writes, size,\n"
           "              coding and record bytes; for sound its channels, rate, duration,\n"
           "              blocks or chunks and sizes\n"
           "  --json      with --list: print the listing as JSON (a byte of a name that is\n"
           "              not UTF-8 is given as \\uDC80 + its value less 0x80, so that\n"
           "              encoding with surrogate escapes gives the bytes back)\n"
           "  -j N        work on N threads (default: one per core; 1 for one thread), never\n"
           "              more than the cores: whatever N, a run holds at most about\n"
           "              24 MB plus 32 MB a thread\n"
           "  -q          print warnings and errors only (on standard error)\n"
           "  --help, /?  show this help and exit\n"
           "  --version   show the version and exit\n"
           "\n"
           "Exit status: 0 when the run completed, 1 when a job failed, 2 for a usage error,\n"
           "3 when the run completed with warnings (something was passed over; the results\n"
           "say what), a listing found entries that cannot be read or a pattern of --only\n"
           "matched no entry. When stopped:\n"
           "  " +
           std::string(StopSignal::StatusesText()) +
           ";\n"
           "141 when the reader of standard output went away (| head), which stops a run as\n"
           "Ctrl+C does. Standard output that cannot be written (a full disk) ends a\n"
           "listing with 1, and a run too, once its work is done. Options that take a value\n"
           "also take it joined, as -j4 or --pack=wac; -f, --pack, -o, --compress and\n"
           "--like may be given once.\n";
}

namespace {

unsigned ThreadCount(const std::string& value)
{
    constexpr unsigned kMostThreads = 256;
    unsigned threads = 0;
    for (const char c : value) {
        if (c < '0' || c > '9' || threads > kMostThreads)
            throw UsageError("-j takes a number of threads from 1 to " + std::to_string(kMostThreads) + ", not '" +
                             value + "'");
        threads = threads * 10 + static_cast<unsigned>(c - '0');
    }
    if (threads < 1 || threads > kMostThreads)
        throw UsageError("-j takes a number of threads from 1 to " + std::to_string(kMostThreads) + ", not '" +
                         value + "'");
    return threads;
}

constexpr const char* kCompressGoesWithReplays =
    "--compress goes with replaying result logs (.log) and project lists (.lst)";

ReplacementCoding CodingNamed(const std::string& name)
{
    if (name == "exact")
        return ReplacementCoding::ExactOrRaw;
    if (name == "lossy")
        return ReplacementCoding::Lossy;
    if (name == "raw")
        return ReplacementCoding::Raw;
    throw UsageError("--compress takes exact, lossy or raw, not '" + name + "'");
}

// A listing names no target; each file is listed as its own format (or as -f's).
CliOptions CheckListing(CliOptions options, bool targetGiven)
{
    if (targetGiven || !options.PackLike.empty())
        throw UsageError("--list writes nothing; it takes neither -o, --pack nor --like");
    if (options.CodingGiven)
        throw UsageError(kCompressGoesWithReplays);
    if (options.Files.empty())
        throw UsageError("no input file given");
    if (options.JobFormat != nullptr && options.JobFormat->List == nullptr)
        throw UsageError("--list shows .wac, .was and .at3 files, not -f " + std::string(options.JobFormat->Option));
    for (const auto& file : options.Files) {
        const Format* format = options.JobFormat != nullptr ? options.JobFormat : FormatForFile(file);
        if (format == nullptr || format->List == nullptr)
            throw UsageError("cannot list " + file + ": --list shows .wac, .was and .at3 files");
    }
    return options;
}

} // namespace

bool OptionTakesValue(const std::string& option)
{
    return option == "-f" || option == "-o" || option == "--pack" || option == "--like" || option == "--only" ||
           option == "-j" || option == "--compress";
}

namespace {

bool TakesValue(const std::string& option) { return OptionTakesValue(option); }

bool TakesNoValue(const std::string& option)
{
    return option == "--help" || option == "-h" || option == "--version" || option == "-q" || option == "--list" ||
           option == "--json";
}

// Where each of two files is not of the first's format: one run takes one format, so a file
// of another known kind needs a run of its own; a file of no known kind may be meant as the
// first's, which -f says.
std::string OtherFormatReason(const std::string& file, const Format& format, const std::string& first)
{
    const std::string extension(format.Extension);
    const Format* own = FormatForFile(file);
    if (own == nullptr)
        return file + " is not a " + extension + " file like " + first + "; give -f to take every file as one format";
    const std::string other(own->Extension);
    return file + " is a " + other + " file and " + first + " a " + extension +
           " file, but one run takes one format: run packsmith-cli once for the " + extension +
           " files and once for the " + other + " files";
}

} // namespace

CliOptions ParseCliOptions(const std::vector<std::string>& args)
{
    CliOptions options;
    bool targetGiven = false;
    bool optionsEnded = false;
    std::string formatGivenBy; // the -f or --pack that gave the format, as given
    // The options that take one value, as given: a second would overrule the first unseen.
    std::map<std::string, std::string> givenOnce;
    for (std::size_t i = 0; i < args.size(); ++i) {
        // Windows programs answer "/?" with their help; no file is named so.
        if (!optionsEnded && args[i] == "/?") {
            options.What = CliOptions::Action::Help;
            return options;
        }
        if (optionsEnded || args[i].size() < 2 || args[i][0] != '-') {
            options.Files.push_back(args[i]);
            continue;
        }
        // A value may also come with its option, as "-j4" or "--pack=wac".
        std::string arg = args[i];
        std::optional<std::string> attached;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            attached = arg.substr(arg.find('=') + 1);
            arg.resize(arg.find('='));
            if (TakesNoValue(arg))
                throw UsageError("option " + arg + " takes no value");
            if (!TakesValue(arg))
                throw UsageError("unknown option " + arg);
        } else if (arg[1] != '-' && arg.size() > 2 && TakesValue(arg.substr(0, 2))) {
            attached = arg.substr(2);
            arg.resize(2);
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            options.What = CliOptions::Action::Help;
            return options;
        } else if (arg == "--version") {
            options.What = CliOptions::Action::Version;
            return options;
        } else if (arg == "-q") {
            options.Quiet = true;
        } else if (arg == "--list") {
            options.What = CliOptions::Action::List;
        } else if (arg == "--json") {
            options.Json = true;
        } else if (TakesValue(arg)) {
            if (!attached && i + 1 >= args.size())
                throw UsageError("option " + arg + " needs a value");
            const std::string value = attached ? *attached : args[++i];
            if (arg == "-o" || arg == "--compress" || arg == "--like") {
                const std::string given = arg + " " + value;
                const auto [earlier, first] = givenOnce.try_emplace(arg, given);
                if (!first)
                    throw UsageError(std::string(arg == "-o" ? "the target directory" : arg) + " is given twice (" +
                                     earlier->second + ", " + given + "); give one");
            }
            if (arg == "-f" || arg == "--pack") {
                // One run takes one format: a second would overrule the first unseen.
                const std::string given = arg + " " + value;
                if (!formatGivenBy.empty())
                    throw UsageError("the format is given twice (" + formatGivenBy + ", " + given + "); give one");
                formatGivenBy = given;
            }
            if (arg == "-f") {
                options.JobFormat = FormatByOption(value);
                if (options.JobFormat == nullptr)
                    throw UsageError("unknown format '" + value + "' (use " + OptionNames(", ", " or ") + ")");
            } else if (arg == "--pack") {
                // --pack wac is -f pack-wac: the table names the packing directions so.
                options.JobFormat = value == "wac" || value == "was" ? FormatByOption("pack-" + value) : nullptr;
                if (options.JobFormat == nullptr)
                    throw UsageError("--pack takes wac or was, not '" + value + "'");
            } else if (arg == "--like") {
                options.PackLike = value;
            } else if (arg == "--only") {
                options.Only.push_back(value);
            } else if (arg == "-j") {
                options.Threads = ThreadCount(value);
            } else if (arg == "--compress") {
                options.Coding = CodingNamed(value);
                options.CodingGiven = true;
            } else {
                if (value.empty())
                    throw UsageError("option -o needs a directory");
                options.TargetDirectory = value;
                targetGiven = true;
            }
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    if (options.Json && options.What != CliOptions::Action::List)
        throw UsageError("--json goes with --list");
    if (options.What == CliOptions::Action::List)
        return CheckListing(std::move(options), targetGiven);
    if (!targetGiven)
        throw UsageError("no target directory given (-o TARGET_DIR)");
    if (options.Files.empty())
        throw UsageError("no input file given");
    if (!options.PackLike.empty() && (options.JobFormat == nullptr || options.JobFormat->Kind != JobKind::Pack))
        throw UsageError("--like goes with --pack");
    if (options.JobFormat == nullptr) {
        options.JobFormat = FormatForFile(options.Files.front());
        if (options.JobFormat == nullptr && ExtensionIsShared(options.Files.front()))
            throw UsageError("cannot tell how to pack " + options.Files.front() + "; give --pack wac or --pack was");
        if (options.JobFormat == nullptr)
            throw UsageError("cannot tell the format of " + options.Files.front() + " from its extension; use -f");
        // One run takes one format; a file of another kind would be read as the first's.
        for (const auto& file : options.Files)
            if (FormatForFile(file) != options.JobFormat)
                throw UsageError(OtherFormatReason(file, *options.JobFormat, options.Files.front()));
    }
    if (options.CodingGiven && options.JobFormat->Kind != JobKind::Replay)
        throw UsageError(kCompressGoesWithReplays);
    if (!options.Only.empty() && !options.JobFormat->LogsOutputs)
        throw UsageError("--only selects entries of image packs (.at3)");
    return options;
}

} // namespace packsmith
