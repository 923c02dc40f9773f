#pragma once

#include <string>
#include <vector>

namespace packsmith {

// Where a run's "result.log" goes, and writing it there. An earlier log of the name is
// replaced when it lists no source that the new one leaves out (the same packs extracted
// again); one that lists other sources is the only way back to the pictures they gave, so
// it stays, and the new log takes the first free name of result_0000.log, result_0001.log,
// ... instead. So does a log that another program holds open (on Windows, where such a
// file cannot be replaced), rather than lose the run's log. A failure names the log file.
struct WrittenLog {
    std::string Path;     // the path written
    bool HeldOpen = false; // result.log was held open, and the log went to Path instead
};
WrittenLog WriteResultLog(const std::string& targetDirectory, const std::vector<std::string>& lines);

} // namespace packsmith
