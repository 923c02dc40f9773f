#include "formats/tga/TgaLibrary.h"

#include <cerrno>

#include "core/PackError.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

// The cause the codec gave for a file it could not read, as the end of the message; nothing
// for a codec that gives none.
std::string WhyNotReadable(int result)
{
    switch (result) {
    case TgaTooShort:
        return " (it is shorter than a TGA header)";
    case TgaUnknownKind:
        return " (its header is not that of a colour-mapped, true-colour or grey TGA image the codec reads)";
    case TgaTruncated:
        return " (the file ends before its picture does)";
    case TgaBadColourIndex:
        return " (a pixel names a colour its colour map does not have)";
    default:
        return {};
    }
}

} // namespace

std::string TgaLibraryPath()
{
    const std::string directory = ProgramFolder();
    const std::string name = SharedLibraryFileName("targa");
    const std::string beside = directory + "/" + name;
    const std::string installed = directory + "/" PACKSMITH_PRIVATE_LIBRARY_DIR "/" + name;
    if (!PathExists(beside) && PathExists(installed))
        return installed;
    return beside;
}

TgaLibrary::TgaLibrary() : TgaLibrary(TgaLibraryPath()) {}

TgaLibrary::TgaLibrary(const std::string& libraryPath) : path_(libraryPath), library_(libraryPath)
{
    if (!library_.Loaded())
        throw PackError("Cannot load the TGA codec library " + path_);
    Entry("WriteTGA");
    Entry("ReadTGA");
}

TgaLibrary::~TgaLibrary() = default;

void* TgaLibrary::Entry(const char* name) const
{
    void* entry = library_.Entry(name);
    if (entry == nullptr)
        throw PackError(std::string("The TGA codec library ") + path_ + " has no entry point " + name);
    return entry;
}

void TgaLibrary::Write(OutputFile& file, const TgaBitmap& bitmap) const
{
    // The library takes a path; it writes the still unnamed file through one.
    const auto write = reinterpret_cast<WriteTgaFunction>(Entry("WriteTGA"));
    const int result = write(SystemSpelling(file.WritablePath()).c_str(), &bitmap, 1);
    if (result == TgaOk)
        return;
    const int kind = TGA_RESULT_KIND(result), cause = TGA_RESULT_CAUSE(result);
    ThrowCannotCreate(file.Path(), (kind == TgaCannotCreate || kind == TgaWriteFailed) && cause > 0 ? cause : 0);
}

void TgaLibrary::Write(const std::string& path, const TgaBitmap& bitmap) const
{
    OutputFile file(path);
    Write(file, bitmap);
    file.Commit();
}

void TgaLibrary::Read(const std::string& path, TgaBitmap& bitmap) const
{
    const auto read = reinterpret_cast<ReadTgaFunction>(Entry("ReadTGA"));
    const int result = read(SystemSpelling(path).c_str(), &bitmap);
    switch (result) {
    case TgaOk:
        return;
    case TgaOutOfMemory:
        ThrowOutOfMemory();
    case TgaCannotOpen: {
        // The library reads regular files only; say so when that is why.
        ThrowCannotOpen(path, WhyCannotOpen(path));
    }
    case TgaTooLarge:
        throw PackError("The image " + path + " is too large");
    default:
        throw PackError("Cannot read the TGA image " + path + WhyNotReadable(result));
    }
}

} // namespace packsmith
