#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/imagepack/record/BlockTable.h"
#include "formats/imagepack/record/ImageRecord.h"

namespace packsmith {

// Puts a compressed image record together: header (the given bytes with the decoder's
// fields and the picture size set from fields; fields.IndexStreamSize is taken from
// indexStream), index stream, raw entry 0, coded entries 1 and on.
std::vector<std::uint8_t> WriteImageRecord(std::span<const std::uint8_t, image_record::kHeaderBytes> header,
                                           const ImageHeader& fields, std::span<const std::uint8_t> indexStream,
                                           const BlockEntry& entry0, std::span<const std::uint8_t> tableStream);

} // namespace packsmith
