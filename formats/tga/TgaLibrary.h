#pragma once

#include <string>

#include "io/OutputFile.h"
#include "platform/SharedLibrary.h"
#include "targa/TgaBitmap.h"

namespace packsmith {

// The TGA codec library, loaded for one handler call and unloaded when the object goes.
// It is always loaded from a fixed place relative to the running program: beside it in a
// build tree, in the install's private library folder once installed; never through a
// search path or from the current directory, which a run makes the target directory, so a
// library planted there never runs.
class TgaLibrary {
public:
    // Loads the library from its place; a missing library or entry point fails with a
    // message that names the library.
    TgaLibrary();
    explicit TgaLibrary(const std::string& libraryPath);
    ~TgaLibrary();
    TgaLibrary(const TgaLibrary&) = delete;
    TgaLibrary& operator=(const TgaLibrary&) = delete;

    // Writes bitmap as a 32-bit TGA file into file, which the caller then names;
    // "Cannot create file %s" (the file's path) when it fails, with the cause the codec gives
    // ("No space left on device").
    void Write(OutputFile& file, const TgaBitmap& bitmap) const;
    // Writes bitmap as a 32-bit TGA file at path, replacing any file there.
    void Write(const std::string& path, const TgaBitmap& bitmap) const;
    // Reads the TGA file at path into bitmap, which takes its size.
    void Read(const std::string& path, TgaBitmap& bitmap) const;

    const std::string& LibraryPath() const { return path_; }

private:
    void* Entry(const char* name) const;

    std::string path_;
    SharedLibrary library_;
};

// Where the library is looked for: the first of its fixed places that holds it (the first
// place when none does, for the message).
std::string TgaLibraryPath();

} // namespace packsmith
