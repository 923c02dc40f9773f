#pragma once

#include <string>
#include <vector>

#include "formats/imagepack/ImagePack.h"
#include "io/StringList.h"

namespace packsmith {

// How many lines under a "#Source:" line name pictures: those from firstLine up to the
// next keyword line or the end, without blank lines beyond the pack's last entry.
int ImageLineCount(const StringList& lines, int firstLine, std::size_t entryCount);

// Refuses a log whose picture lines no longer fit the pack they are listed under, before
// anything is written from it: the lines are taken by position, so a pack that lost or
// gained an entry since the extraction would give every entry its neighbour's picture. They
// do not fit when there are more or fewer of them than the pack has entries, or when a line
// is a name the extraction gave another entry's picture (TYPE/NAME.tga, TYPE/NAME_NNNN.tga,
// read as the replay reads the path: without blanks around it, in either system's form).
// A line naming a file of the user's own fits any entry. The message names the pack and the
// first entry that does not fit.
void CheckLogFitsPack(const std::string& packPath, const std::vector<PackEntry>& entries, const StringList& lines,
                      int firstLine);

} // namespace packsmith
