#pragma once

#include <map>
#include <memory>
#include <string>
#include <set>
#include <string_view>

#include "io/FileStream.h"
#include "io/StringList.h"
#include "jobs/EntrySelection.h"
#include "jobs/RunFiles.h"

namespace packsmith {

class JobHost;
struct RunContext;

// What replaying the lines of one format in a result log does: rebuild the file the
// "#Source:" line names into newPath from the lines that follow it, starting at firstLine;
// returns the index of the first line after those it used.
using RebuildFunction = int (*)(const std::string& newPath, int firstLine, RunContext& run, JobHost& host);
// The rebuild for the format a "#Format:" line names; null when that format has none (or
// the name is none of the formats).
using RebuildLookup = RebuildFunction (*)(std::string_view logName);

// How a rebuild stores the pictures that replace an entry's.
enum class ReplacementCoding {
    ExactOrRaw, // a compressed record where it holds the picture exactly, a raw record otherwise
    Lossy,      // a compressed record, as close to the picture as the record can hold
                // (in both, a raw record where a compressed one would be larger)
    Raw,        // a raw record always: four bytes a pixel
};

// The state that a run shares with its handlers, owned by the run: the target directory,
// the lines of the future "result.log" (only the run writes them), the lines of the log
// being replayed, the open source pack of a replay, and how a replay finds the rebuild of
// a format, and what a replay has done so far.
struct RunContext {
    std::string TargetDirectory;
    StringList ResultList;
    StringList ReplayList;
    std::unique_ptr<FileStream> SourcePackStream;
    RebuildLookup RebuildFor = nullptr;
    // The folder of the log being replayed, which its relative paths are relative to.
    std::string ReplayDirectory;
    // The packs this run has rebuilt, each with its source and the log that listed it, so
    // that no listing undoes another's.
    struct Rebuilt {
        std::string Source;
        std::string Log;
    };
    std::map<std::string, Rebuilt> RebuiltPacks; // by the new pack's path's NameKey
    // The packed file whose rate, channels and leading bytes packed sound takes; "" for
    // the sound's own.
    std::string PackLike;
    // The entries of image packs an extraction writes; empty for all of them.
    EntrySelection Selection;
    // How many threads a job may work on: 0 for one per core, 1 for its own thread only;
    // never more than the usable cores (WorkersFor).
    unsigned Threads = 0;
    // How a rebuild stores replaced pictures.
    ReplacementCoding Coding = ReplacementCoding::ExactOrRaw;
    // What the run reads and what it has written, which no output may replace.
    RunFiles Files;
};

// The worker threads a job of the run starts beside its own: none when it is to work alone,
// and never more than the usable cores, however many threads were asked for.
unsigned WorkersFor(const RunContext& run);

} // namespace packsmith
