#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "concurrency/StopToken.h"
#include "formats/imagepack/record/ImageRecord.h"
#include "formats/tga/Bitmap32.h"
#include "io/ByteBuffer.h"
#include "jobs/RunContext.h"

namespace packsmith {

// How a replaced picture was stored.
struct StoredReplacement {
    enum class Kind { Exact, Lossy, Raw };
    Kind How = Kind::Raw;
    double Psnr = 0; // of a lossy record, in dB over the four bytes of every pixel
};

// The record that stands for picture in a rebuilt pack, put into record, as coding asks:
// a compressed record that decodes to the very picture where the record can hold it, else
// (when loss is allowed) the closest one it can hold, else a raw record of four bytes a
// pixel; a raw record too where a compressed one would be larger. sourceHeader: the first bytes of the entry's record in the source pack, which the
// new record's header starts from. A raw record keeps the source's picture size in its
// header, so a picture of another size is always compressed (exactly, unless loss is
// allowed). One that cannot be, one without pixels and one larger than any record holds
// fail with a PackError saying why, for the caller to name the picture and entry. Leaves
// with JobStopped when stop is raised.
StoredReplacement MakeReplacementRecord(const Bitmap32& picture,
                                        std::span<const std::uint8_t, image_record::kHeaderBytes> sourceHeader,
                                        ReplacementCoding coding, ByteBuffer& record, const StopToken& stop = {});

// Counts the ways replaced pictures were stored, for the results line: "1 compressed
// exactly, 2 lossy at 38.4 to 41.0 dB, 1 raw".
class ReplacementTally {
public:
    void Add(const StoredReplacement& stored);
    // "" when nothing was replaced.
    std::string Text() const;

private:
    std::uint32_t exact_ = 0;
    std::uint32_t lossy_ = 0;
    std::uint32_t raw_ = 0;
    double lowestPsnr_ = 0;
    double highestPsnr_ = 0;
};

} // namespace packsmith
