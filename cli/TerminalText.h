#pragma once

#include <string>
#include <string_view>

#include "core/TextControls.h"

namespace packsmith {

// Text as the terminal is to show it: control characters escaped as JSON escapes them
// ("\u009B", "\u202E"), so that no name or path can move the cursor, clear the screen or
// make itself read as another. Tabs stay.
inline std::string TerminalText(std::string_view text)
{
    return ReplaceControls(text, [](char32_t c) { return c == '\t' ? std::string("\t") : UnicodeEscape(c); });
}

} // namespace packsmith
