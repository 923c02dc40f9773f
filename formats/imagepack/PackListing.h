#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/Stream.h"

namespace packsmith {

// How an entry's record stores its picture.
enum class RecordCoding {
    FullRows,   // a compressed record of every pixel row
    HalfRows,   // a compressed record of every other row, each shown twice
    Raw,        // the uncompressed record a rebuild writes for an edited picture
    Unreadable, // the record cannot be read (Problem says why)
};

// One entry of an image pack as a listing shows it, from the entry table and the record's
// header alone: nothing is decoded.
struct ListedEntry {
    std::uint32_t Index = 0; // 0-based, in table order
    std::string StoredName;  // as stored (8-bit characters)
    std::string OutputPath;  // where an extraction into an empty target writes it: TYPE/NAME.tga
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    RecordCoding Coding = RecordCoding::Unreadable;
    std::uint16_t BlockWidth = 0; // 4 or 2 pixels for compressed records, 0 otherwise
    std::uint32_t DataOffset = 0;
    std::uint32_t RecordBytes = 0;
    std::string Problem; // why the picture cannot be had; "" when the header reads well
};

// The entries of the image pack in pack (whose path messages name), in table order. A pack
// whose header or table cannot be read is a PackError; an entry whose record cannot be read
// is listed with its Problem. Reads the table and each record's header only.
std::vector<ListedEntry> ListImagePack(Stream& pack, const std::string& packPath);

// "full rows, 4-pixel blocks", "half rows, 2-pixel blocks", "raw" or "unreadable".
std::string CodingText(const ListedEntry& entry);

} // namespace packsmith
