#pragma once

#include <memory>
#include <string>

#include "FileStream.h"
#include "StringList.h"

namespace packsmith {

// The state that a run shares with its handlers, owned by the main form for its whole
// life: the target directory of the current or last run, the lines of the future
// "result.log", the lines of the log being replayed and the open source pack of a replay.
struct RunContext {
    std::string TargetDirectory;
    StringList ResultList;
    StringList ReplayList;
    std::unique_ptr<FileStream> SourcePackStream;
};

} // namespace packsmith
