#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace packsmith {

using FormatCode = std::uint8_t;

inline constexpr FormatCode kFormatNone = 0;
inline constexpr FormatCode kFormatWac = 1;
inline constexpr FormatCode kFormatWas = 2;
inline constexpr FormatCode kFormatAt3 = 3;
inline constexpr FormatCode kFormatLog = 4;
inline constexpr FormatCode kFormatProjectList = 5;

struct OpenFilter {
    std::string_view Description;
    std::string_view Pattern;
};

inline constexpr int kFilterCount = 5;

// The open dialog's filters in their order; a position (1-based) indexes all three tables.
// A project list is code 5 and a log file code 4, against their positions 4 and 5.
inline constexpr std::array<OpenFilter, kFilterCount> kOpenFilters{{
    {"Packed WAV (*.wac)", "*.wac"},
    {"Packed Music (*.was)", "*.was"},
    {"Image Pack (*.at3)", "*.at3"},
    {"Project list files (*.lst)", "*.lst"},
    {"Log files (*.log)", "*.log"},
}};
inline constexpr std::array<FormatCode, kFilterCount> kFilterFormatCodes{1, 2, 3, 5, 4};
inline constexpr std::array<std::string_view, kFilterCount> kFormatNames{"WAC", "WAS", "AT3", "", ""};

// The code of the filter at a 1-based position; "List index out of bounds" outside 1 to 5.
FormatCode FilterFormatCode(int filterPosition);
// The name that the result log gives a format code ("" for the logs and any other code).
std::string_view FormatName(FormatCode code);
// The 1-based position of the filter whose pattern matches the file's extension, compared
// without regard to ASCII case; 0 when none does.
int FilterPositionForFile(std::string_view path);

} // namespace packsmith
