#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/RandomBits.h"

namespace packsmith {

// The name a file has while it is written where the system cannot leave it without one:
// "." + its own name + "." + a random tag of tagLength characters from digits. Hidden from
// listings (on Linux), and telling the user which file it was should one ever be left
// behind; the own name is shortened where the whole would be longer than nameMax.
inline std::string HiddenName(const std::string& fileName, std::size_t nameMax, std::string_view digits,
                              std::size_t tagLength)
{
    std::string name = ".";
    name.append(fileName, 0, nameMax - 2 - tagLength);
    name += '.';
    std::uint64_t bits = RandomBits();
    for (std::size_t i = 0; i < tagLength; ++i, bits /= digits.size())
        name += digits[bits % digits.size()];
    return name;
}

} // namespace packsmith
