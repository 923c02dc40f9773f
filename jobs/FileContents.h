#pragma once

#include <optional>
#include <string>
#include <vector>

#include "formats/imagepack/PackListing.h"
#include "jobs/SoundContents.h"

namespace packsmith {

// What a file of one of the extracted formats holds, as a listing shows it: a pack's
// entries or a sound's summary.
struct FileContents {
    std::vector<ListedEntry> Pictures;
    std::optional<SoundSummary> Sound;
};

using ListFunction = FileContents (*)(const std::string& path);

FileContents ListAt3(const std::string& path);
FileContents ListWac(const std::string& path);
FileContents ListWas(const std::string& path);

} // namespace packsmith
