// Any bytes as a whole image pack in memory: listed as a listing does, then every entry
// read and its picture decoded, as the extraction does, without writing anything.
#include <cstdint>

#include "core/PackError.h"
#include "formats/imagepack/ImagePackReader.h"
#include "formats/imagepack/PackListing.h"
#include "formats/tga/Bitmap32.h"
#include "io/MemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace packsmith;
    MemoryStream pack;
    pack.Write({data, size});
    try {
        ListImagePack(pack, "fuzzed.at3");
    } catch (const PackError&) {
    }
    try {
        // One decoder for every input, as a job keeps one for every record.
        static ImageDecoder decoder;
        ImagePackReader reader(pack, "fuzzed.at3", &decoder);
        Bitmap32 bitmap;
        for (std::uint32_t i = 0; i < reader.EntryCount(); ++i)
            reader.ReadPicture(reader.NextEntry(), bitmap);
    } catch (const PackError&) {
    }
    return 0;
}
