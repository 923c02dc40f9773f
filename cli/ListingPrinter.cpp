#include "cli/ListingPrinter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "cli/TerminalText.h"
#include "cli/TextColumns.h"
#include "core/TextControls.h"
#include "formats/imagepack/OutputNames.h"
#include "platform/FileSystem.h"

namespace packsmith {

namespace {

// A JSON string of bytes: UTF-8 text as it is, and each byte that starts no UTF-8 sequence
// as the lone surrogate U+DC80 + its value less 0x80 ("\uDCE9" for 0xE9), the common way of
// carrying such bytes through text: a script gets every byte back by encoding the string as
// UTF-8 with surrogate escapes (Python's os.fsencode does so), and a name of 8-bit text never
// reads as the UTF-8 name it would look like if its bytes were taken as characters. Control
// characters (the bidirectional ones too) are escaped.
std::string Json(const std::string& text)
{
    std::string quoted = "\"";
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        std::size_t length = DecodeUtf8(text, i, c);
        if (length == 0) {
            quoted += UnicodeEscape(0xDC00 + static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (c == '"' || c == '\\')
            quoted += '\\';
        const std::string_view sequence(text.data() + i, length);
        quoted += IsControlCharacter(c) ? UnicodeEscape(c) : std::string(sequence);
        i += length;
    }
    return quoted + '"';
}

std::string Fixed3(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// "Packed WAV" of "Packed WAV (*.wac)".
std::string KindName(const Format& format)
{
    const std::string_view filter = format.Filter;
    return std::string(filter.substr(0, filter.find(" (")));
}

std::string SizeText(const ListedEntry& entry)
{
    return entry.Coding == RecordCoding::Unreadable && entry.Width == 0 && entry.Height == 0
               ? "?"
               : std::to_string(entry.Width) + "x" + std::to_string(entry.Height);
}

// Stored names are at most a few dozen characters in the packs of games; a longer one is
// shown by its start and end, so that it does not widen every row of its pack (the JSON
// listing, for scripts, keeps it whole).
constexpr std::size_t kNameColumns = 40;

// Columns as wide as their widest cell; those marked in rightAligned are aligned right.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows,
                const std::vector<bool>& rightAligned = {})
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            widths.resize(std::max(widths.size(), row.size()));
            widths[c] = std::max(widths[c], TextColumns(row[c]));
        }
    for (const auto& row : rows) {
        std::string line = " ";
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string pad(widths[c] - TextColumns(row[c]), ' ');
            const bool last = c + 1 == row.size();
            line += ' ';
            line += c < rightAligned.size() && rightAligned[c] ? pad + row[c] : row[c] + (last ? "" : pad);
            line += ' ';
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << '\n';
    }
}

} // namespace

ListingPrinter::ListingPrinter(std::ostream& out, bool json) : out_(out), json_(json)
{
    if (json_)
        out_ << "[";
}

ListingPrinter::~ListingPrinter()
{
    if (!finished_)
        Finish();
}

void ListingPrinter::Finish()
{
    finished_ = true;
    if (json_)
        out_ << (first_ ? "]\n" : "\n]\n");
    out_.flush();
}

void ListingPrinter::BeginObject()
{
    if (json_)
        out_ << (first_ ? "\n" : ",\n");
    else if (!first_)
        out_ << '\n';
    first_ = false;
}

void ListingPrinter::AddFailure(const std::string& path, const std::string& message)
{
    if (!json_)
        return;
    BeginObject();
    out_ << "  {\"file\": " << Json(path) << ", \"error\": " << Json(message) << "}";
}

void ListingPrinter::Add(const std::string& path, const Format& format, const FileContents& contents)
{
    BeginObject();
    if (json_) {
        out_ << "  {\"file\": " << Json(path) << ", \"format\": " << Json(std::string(format.LogName));
        if (const auto& sound = contents.Sound) {
            out_ << ", \"channels\": " << sound->Channels << ", \"sampleRate\": " << sound->SampleRate
                 << ", \"bitsPerSample\": " << sound->BitsPerSample << ", \"seconds\": " << Fixed3(sound->Seconds())
                 << ", \"" << (sound->Chunked ? "chunks" : "blocks") << "\": " << sound->Units
                 << ", \"codedBytes\": " << sound->CodedBytes << ", \"decodedBytes\": " << sound->DecodedBytes;
            if (!sound->Problem.empty())
                out_ << ", \"error\": " << Json(sound->Problem);
            out_ << "}";
            return;
        }
        out_ << ", \"entries\": [";
        bool firstEntry = true;
        for (const ListedEntry& e : contents.Pictures) {
            out_ << (firstEntry ? "\n" : ",\n") << "    {\"index\": " << e.Index + 1 << ", \"name\": "
                 << Json(e.StoredName) << ", \"path\": " << Json(SystemSpelling(e.OutputPath)) << ", \"width\": " << e.Width
                 << ", \"height\": " << e.Height << ", \"coding\": " << Json(CodingText(e))
                 << ", \"recordBytes\": " << e.RecordBytes;
            if (!e.Problem.empty())
                out_ << ", \"error\": " << Json(e.Problem);
            out_ << "}";
            firstEntry = false;
        }
        out_ << (firstEntry ? "]}" : "\n  ]}");
        return;
    }

    if (const auto& sound = contents.Sound) {
        out_ << TerminalText(ShownPaths(path)) << ": " << KindName(format)
             << (sound->Problem.empty() ? "" : ", damaged") << '\n';
        std::vector<std::vector<std::string>> rows{
            {"channels", std::to_string(sound->Channels)},
            {"sample rate", std::to_string(sound->SampleRate) + " Hz"},
            {"bits per sample", std::to_string(sound->BitsPerSample)},
            {"duration", Fixed3(sound->Seconds()) + " s"},
            {sound->Chunked ? "chunks" : "blocks", std::to_string(sound->Units)},
            {"coded bytes", std::to_string(sound->CodedBytes)},
            {"decoded bytes", std::to_string(sound->DecodedBytes)}};
        // The counts above are of what can be read; this says where that ends.
        if (!sound->Problem.empty())
            rows.push_back({"damaged", TerminalText(sound->Problem)});
        PrintTable(out_, rows);
        return;
    }
    const std::size_t count = contents.Pictures.size();
    out_ << TerminalText(ShownPaths(path)) << ": " << KindName(format) << ", " << count
         << (count == 1 ? " entry" : " entries") << '\n';
    if (count == 0)
        return;
    std::vector<std::vector<std::string>> rows{{"#", "Name", "Extracts to", "Size", "Coding", "Bytes", ""}};
    for (const ListedEntry& e : contents.Pictures) {
        const std::string problem = TerminalText(e.Problem);
        // Names as the files are named, as the JSON listing gives them: on Windows a byte that
        // is not UTF-8 is the character the file's name has for it.
        rows.push_back({std::to_string(e.Index + 1),
                        ElidedText(TerminalText(PrintableName(SystemSpelling(e.StoredName))), kNameColumns),
                        ElidedText(TerminalText(ShownPaths(PrintableName(SystemSpelling(e.OutputPath)))), kNameColumns),
                        SizeText(e), CodingText(e),
                        std::to_string(e.RecordBytes), problem.empty() ? "" : "(" + problem + ")"});
    }
    PrintTable(out_, rows, {true, false, false, false, false, true});
}

} // namespace packsmith
