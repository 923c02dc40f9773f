#pragma once

#include <functional>
#include <memory>
#include <string>

#include "formats/imagepack/ImagePack.h"
#include "formats/imagepack/record/ImageDecoder.h"
#include "formats/tga/Bitmap32.h"
#include "io/ByteBuffer.h"
#include "io/Stream.h"

namespace packsmith {

// Reads an image pack entry by entry: the entry records in table order, and each entry's
// picture, from a raw record's stored pixels or through the decoder. It reads from any
// stream and writes nothing. Every failure is an exception with the user's message; one
// about a picture names the pack and the entry.
class ImagePackReader {
public:
    // decoder: one to decode with, which must outlive the reader; without it the reader
    // makes its own when it first decodes a record (a listing never does).
    ImagePackReader(Stream& pack, std::string packPath, ImageDecoder* decoder = nullptr);

    std::uint32_t EntryCount() const { return header_.EntryCount; }
    // The entries the file holds: EntryCount, unless the table runs past the file's end
    // (then NextEntry fails after the last of them, naming the ones missing).
    std::uint32_t ReadableEntryCount() const { return readableEntries_; }
    // What is wrong with a table that runs past the file's end, naming the entries missing;
    // "" for a whole table.
    std::string MissingEntries() const;
    const PackHeader& Header() const { return header_; }
    // The next entry record (call at most EntryCount times). The table is read many
    // entries at a time.
    PackEntry NextEntry();
    // The entry's picture, with bitmap sized to it.
    void ReadPicture(const PackEntry& entry, Bitmap32& bitmap);
    // The bytes of pixels the entry's picture takes, from its record's header alone; 0 where
    // the header cannot be read or names no picture that fits (ReadPicture then says why).
    std::uint64_t PictureBytes(const PackEntry& entry);

private:
    // Reads bytes at offset; a failure names the pack and what (a few words) was read.
    void ReadFor(std::int64_t offset, std::span<std::uint8_t> bytes, const std::function<std::string()>& what);

    Stream& pack_;
    std::string packPath_;
    std::uint64_t packSize_;
    PackHeader header_;
    std::int64_t nextEntryAt_;
    std::uint32_t readableEntries_ = 0;
    bool tableStatedEnd_ = false; // the readable entries end at the table's stated size
    std::uint32_t entriesRead_ = 0;
    ByteBuffer entryBytes_; // entries read ahead of NextEntry
    std::size_t entryUsed_ = 0;
    ByteBuffer record_;
    ImageDecoder* decoder_;
    std::unique_ptr<ImageDecoder> ownDecoder_;
};

} // namespace packsmith
