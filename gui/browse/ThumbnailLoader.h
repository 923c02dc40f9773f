#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "formats/imagepack/PackListing.h"
#include "gui/browse/Thumbnail.h"

namespace packsmith {

class Bitmap32;
class PackPictureReader;

// Makes the thumbnails of a pack's entries on worker threads (one per core, each with its
// own file and decoder), the entries the window asks for first, the latest asked first;
// then the others in table order as long as they fit the memory budget. When an entry
// asked for does not fit, the thumbnails used least recently give way; they are made again
// when they are asked for again. So a pack of any size costs the budget and no more, and
// the window sees its visible entries filled whatever it did before.
//
// Results reach the window thread the way a run's reports do: ready is called on a worker
// thread when the first result after a Take arrives, and must only arrange for Take (and
// Find) to be called soon on the window thread.
class ThumbnailLoader {
public:
    struct Options {
        std::uint32_t MaxSide = 96;
        std::size_t BudgetBytes = std::size_t{40} << 20;
        unsigned Threads = 0; // 0: one per core
    };

    ThumbnailLoader(std::string packPath, std::vector<ListedEntry> entries, Options options,
                    std::function<void()> ready);
    // Stops the workers and waits for them: each ends after the entry it is decoding.
    ~ThumbnailLoader();
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // Entries (table indices) that are to be made before any other, the first of them first;
    // they count as just used. Indices past the table are ignored.
    void Want(std::span<const std::uint32_t> entries);
    // The entries whose thumbnails arrived since the last take, in the order they did.
    std::vector<std::uint32_t> Take();
    // The entry's thumbnail, or null while it is not made (or was given up for others); it
    // counts as just used.
    std::shared_ptr<const Thumbnail> Find(std::uint32_t entry);

    std::size_t EntryCount() const { return entries_.size(); }
    // How many entries have had their thumbnail made at least once.
    std::size_t MadeCount() const;
    // The bytes the thumbnails kept take.
    std::size_t KeptBytes() const;

private:
    enum class State : std::uint8_t { Missing, Making, Kept };

    void Work();
    void StopWorkers();
    // With the lock held: the entry to make next, or -1 when there is none for now.
    std::int64_t NextEntry();
    // With the lock held: keeps the entry's thumbnail, giving up older ones past the budget;
    // true when the window is to be told.
    bool Keep(std::uint32_t entry, std::shared_ptr<const Thumbnail> thumbnail);
    std::size_t ExpectedCost(std::uint32_t entry) const;
    // The entry's thumbnail; reader is null when the pack could not be opened (openError
    // says why).
    Thumbnail Make(std::uint32_t entry, PackPictureReader* reader, const std::string& openError,
                   Bitmap32& bitmap) const;

    const std::string packPath_;
    const std::vector<ListedEntry> entries_;
    const Options options_;
    const std::function<void()> ready_;

    mutable std::mutex mutex_;
    std::condition_variable work_;
    bool stop_ = false;
    std::vector<State> state_;
    std::vector<std::shared_ptr<const Thumbnail>> kept_;
    std::vector<std::uint64_t> lastUse_;
    std::vector<bool> made_;
    std::size_t madeCount_ = 0;
    std::size_t keptBytes_ = 0;
    std::size_t makingBytes_ = 0; // what the thumbnails being made will take, near enough
    std::uint64_t clock_ = 1;
    std::vector<std::uint32_t> wanted_; // a stack: the latest wish on top
    std::uint32_t nextInOrder_ = 0;      // where making the others in table order goes on
    std::vector<std::uint32_t> arrived_;
    bool told_ = false; // the window was told and has not taken yet

    std::vector<std::thread> workers_; // last: they start once everything else is there
};

} // namespace packsmith
