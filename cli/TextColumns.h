#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace packsmith {

// How many columns a terminal takes to show text (as TerminalText gives it: no controls):
// one per character, two for the wide ones of East Asian scripts, none for combining marks.
// A byte that is not part of valid UTF-8 takes one, as the terminal's replacement mark does.
std::size_t TextColumns(std::string_view text);
// text in at most columns: as it is when it fits, else its start and its end with "..."
// between them, so that both the folder and the extension of a long name stay in sight.
std::string ElidedText(std::string_view text, std::size_t columns);

} // namespace packsmith
