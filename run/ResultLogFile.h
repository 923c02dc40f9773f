#pragma once

#include <string>
#include <vector>

namespace packsmith {

// Where a run's "result.log" goes, and writing it there. An earlier log of the name is
// replaced when it lists no source that the new one leaves out (the same packs extracted
// again); one that lists other sources is the only way back to the pictures they gave, so
// it stays, and the new log takes the first free name of result_0000.log, result_0001.log,
// ... instead. Returns the path written. A failure names the log file.
std::string WriteResultLog(const std::string& targetDirectory, const std::vector<std::string>& lines);

} // namespace packsmith
