#pragma once

#include <string>
#include <vector>

namespace packsmith {

// A list of text lines whose indexed access fails with "List index out of bounds (%d)"
// instead of reaching past its end: the result list and the replay list are read by
// index from lines that a user may have edited.
class StringList {
public:
    int Count() const { return static_cast<int>(lines_.size()); }
    bool Empty() const { return lines_.empty(); }
    const std::string& At(int index) const;
    void Put(int index, std::string line);
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void Clear() { lines_.clear(); }
    // Drops every line from index on; used to take back what an interrupted job added.
    void Truncate(int count);

    void LoadFromFile(const std::string& path);
    void SaveToFile(const std::string& path) const;

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    void Check(int index) const;

    std::vector<std::string> lines_;
};

} // namespace packsmith
