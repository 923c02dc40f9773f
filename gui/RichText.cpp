#include "gui/RichText.h"

#include <cstdint>
#include <cstdio>

#include "core/PathUtils.h"
#include "io/TextFile.h"

namespace packsmith {

namespace {

// Decodes one UTF-8 sequence at text[i]; returns its length, or 0 when the bytes there are
// not well-formed UTF-8 (they are then written byte by byte).
std::size_t DecodeUtf8(const std::string& text, std::size_t i, char32_t& codePoint)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, codePoint = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, codePoint = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, codePoint = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// \uN takes a signed 16-bit value; characters beyond the basic plane go as a surrogate pair.
void AppendUnicode(std::string& out, char32_t codePoint)
{
    const auto unit = [&](std::uint32_t value) {
        out += "\\u" + std::to_string(static_cast<std::int16_t>(static_cast<std::uint16_t>(value))) + "?";
    };
    if (codePoint >= 0x10000) {
        const std::uint32_t v = codePoint - 0x10000;
        unit(0xD800 + (v >> 10));
        unit(0xDC00 + (v & 0x3FF));
    } else {
        unit(codePoint);
    }
}

void AppendLine(std::string& out, const std::string& line)
{
    for (std::size_t i = 0; i < line.size();) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else if (char32_t codePoint = 0; c >= 0x80) {
            if (const std::size_t length = DecodeUtf8(line, i, codePoint)) {
                AppendUnicode(out, codePoint);
                i += length;
                continue;
            }
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\'%02x", c);
            out += hex;
        }
        // Other control characters have no place in a paragraph and are dropped.
        ++i;
    }
}

} // namespace

std::string ResultsAsRtf(const std::vector<std::string>& lines)
{
    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss MS Sans Serif;}}\r\n"
                      "\\viewkind4\\uc1\\pard\\f0\\fs16 ";
    for (const auto& line : lines) {
        AppendLine(out, line);
        out += "\\par\r\n";
    }
    out += "}\r\n";
    return out;
}

std::string ResultsAsText(const std::vector<std::string>& lines)
{
    std::string out;
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

void SaveResults(const std::string& path, const std::vector<std::string>& lines)
{
    // The name decides, not the filter the dialog showed: a user who types "x.rtf" under
    // the text filter still gets what the name promises.
    const std::string content =
        UpperCaseAscii(ExtractFileExt(path)) == ".RTF" ? ResultsAsRtf(lines) : ResultsAsText(lines);
    WriteWholeFile(path, content);
}

} // namespace packsmith
