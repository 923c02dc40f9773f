#pragma once

#include <string>

#include "concurrency/StopToken.h"
#include "formats/sound/Pcm16.h"
#include "io/Progress.h"

namespace packsmith {

// Reads a sound file as an editor saves it (WAV of any sample kind, FLAC, Ogg and whatever
// else libsndfile knows) into 16-bit samples at the file's own rate and channel count.
// 16-bit files come back bit-exact; wider ones are rounded to nearest and clipped.
// Throws PackError naming the file when it cannot be read or holds nothing usable. Tells
// progress the frames read of the frames the file says it holds; leaves with JobStopped when
// stop is raised.
Pcm16 ReadSoundFile(const std::string& path, const StopToken& stop = {}, const Progress& progress = {});

} // namespace packsmith
