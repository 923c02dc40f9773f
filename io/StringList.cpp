#include "io/StringList.h"

#include "core/PackError.h"
#include "io/TextFile.h"

namespace packsmith {

void StringList::Check(int index) const
{
    if (index < 0 || index >= Count())
        ThrowListIndex(index);
}

const std::string& StringList::At(int index) const
{
    Check(index);
    return lines_[static_cast<std::size_t>(index)];
}

void StringList::Put(int index, std::string line)
{
    Check(index);
    lines_[static_cast<std::size_t>(index)] = std::move(line);
}

void StringList::Truncate(int count)
{
    if (count >= 0 && count < Count())
        lines_.resize(static_cast<std::size_t>(count));
}

void StringList::LoadFromFile(const std::string& path) { lines_ = ReadTextFile(path); }

void StringList::SaveToFile(const std::string& path) const { WriteTextFile(path, lines_); }

} // namespace packsmith
