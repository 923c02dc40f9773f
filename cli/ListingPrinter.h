#pragma once

#include <ostream>
#include <string>

#include "jobs/FileContents.h"
#include "jobs/FormatTable.h"

namespace packsmith {

// Prints what files hold, for people (aligned columns, one block per file) or for scripts
// (one JSON array of one object per file). Files are added one by one as they are read.
class ListingPrinter {
public:
    ListingPrinter(std::ostream& out, bool json);
    // Finishes, where Finish was not called.
    ~ListingPrinter();
    ListingPrinter(const ListingPrinter&) = delete;
    ListingPrinter& operator=(const ListingPrinter&) = delete;

    void Add(const std::string& path, const Format& format, const FileContents& contents);
    // A file that could not be read: in the JSON output an object with its message (people
    // see the message on standard error).
    void AddFailure(const std::string& path, const std::string& message);
    // Closes the JSON array; nothing is added after it.
    void Finish();

private:
    void BeginObject();

    std::ostream& out_;
    bool json_;
    bool first_ = true;
    bool finished_ = false;
};

} // namespace packsmith
