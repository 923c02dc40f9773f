#include "gui/browse/ThumbnailLoader.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "formats/imagepack/OutputNames.h"
#include "formats/tga/Bitmap32.h"
#include "gui/browse/PackPictureReader.h"

namespace packsmith {

namespace {

Thumbnail Failed(std::string problem)
{
    Thumbnail thumbnail;
    thumbnail.Problem = std::move(problem);
    return thumbnail;
}

} // namespace

ThumbnailLoader::ThumbnailLoader(std::string packPath, std::vector<ListedEntry> entries, Options options,
                                 std::function<void()> ready)
    : packPath_(std::move(packPath)), entries_(std::move(entries)), options_(options), ready_(std::move(ready)),
      state_(entries_.size(), State::Missing), kept_(entries_.size()), lastUse_(entries_.size(), 0),
      made_(entries_.size(), false)
{
    if (entries_.empty())
        return;
    const unsigned cores = options_.Threads != 0 ? options_.Threads : std::max(1u, std::thread::hardware_concurrency());
    const auto threads = static_cast<unsigned>(std::min<std::size_t>(cores, entries_.size()));
    try {
        for (unsigned i = 0; i < threads; ++i)
            workers_.emplace_back([this] { Work(); });
    } catch (...) {
        // Short of threads, the loader stops those it started before it fails.
        StopWorkers();
        throw;
    }
}

ThumbnailLoader::~ThumbnailLoader() { StopWorkers(); }

void ThumbnailLoader::StopWorkers()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers_)
        if (worker.joinable())
            worker.join();
    workers_.clear();
}

void ThumbnailLoader::Want(std::span<const std::uint32_t> entries)
{
    bool added = false;
    {
        const std::lock_guard lock(mutex_);
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (*it >= entries_.size())
                continue;
            lastUse_[*it] = clock_;
            if (state_[*it] == State::Missing) {
                wanted_.push_back(*it);
                added = true;
            }
        }
    }
    if (added)
        work_.notify_all();
}

std::vector<std::uint32_t> ThumbnailLoader::Take()
{
    const std::lock_guard lock(mutex_);
    told_ = false;
    // What the window uses from now on is newer than what it used before.
    ++clock_;
    return std::exchange(arrived_, {});
}

std::shared_ptr<const Thumbnail> ThumbnailLoader::Find(std::uint32_t entry)
{
    const std::lock_guard lock(mutex_);
    if (entry >= entries_.size())
        return nullptr;
    lastUse_[entry] = clock_;
    return kept_[entry];
}

std::size_t ThumbnailLoader::MadeCount() const
{
    const std::lock_guard lock(mutex_);
    return madeCount_;
}

std::size_t ThumbnailLoader::KeptBytes() const
{
    const std::lock_guard lock(mutex_);
    return keptBytes_;
}

std::size_t ThumbnailLoader::ExpectedCost(std::uint32_t entry) const
{
    const ListedEntry& listed = entries_[entry];
    const ThumbnailExtent size = ThumbnailSize(listed.Width, listed.Height, options_.MaxSide);
    return sizeof(Thumbnail) + std::size_t{size.Width} * size.Height * 4;
}

std::int64_t ThumbnailLoader::NextEntry()
{
    while (!wanted_.empty()) {
        const std::uint32_t entry = wanted_.back();
        wanted_.pop_back();
        if (state_[entry] == State::Missing)
            return entry;
    }
    // The others only while they fit: making them would otherwise push out what the
    // window shows, and then the window would ask for those again.
    while (nextInOrder_ < entries_.size() && state_[nextInOrder_] != State::Missing)
        ++nextInOrder_;
    if (nextInOrder_ < entries_.size() &&
        keptBytes_ + makingBytes_ + ExpectedCost(nextInOrder_) <= options_.BudgetBytes)
        return nextInOrder_++;
    return -1;
}

bool ThumbnailLoader::Keep(std::uint32_t entry, std::shared_ptr<const Thumbnail> thumbnail)
{
    keptBytes_ += thumbnail->Cost();
    kept_[entry] = std::move(thumbnail);
    state_[entry] = State::Kept;
    if (!made_[entry]) {
        made_[entry] = true;
        ++madeCount_;
    }
    // Past the budget, the thumbnails used longest ago give way; never one used as
    // recently as this one, or the window would take turns asking for what it shows.
    while (keptBytes_ > options_.BudgetBytes) {
        std::int64_t oldest = -1;
        for (std::uint32_t i = 0; i < entries_.size(); ++i)
            if (state_[i] == State::Kept && lastUse_[i] < lastUse_[entry] &&
                (oldest < 0 || lastUse_[i] < lastUse_[static_cast<std::size_t>(oldest)]))
                oldest = i;
        if (oldest < 0)
            break;
        const auto given = static_cast<std::size_t>(oldest);
        keptBytes_ -= kept_[given]->Cost();
        kept_[given].reset();
        state_[given] = State::Missing;
    }
    arrived_.push_back(entry);
    return !std::exchange(told_, true);
}

Thumbnail ThumbnailLoader::Make(std::uint32_t entry, PackPictureReader* reader, const std::string& openError,
                                Bitmap32& bitmap) const
{
    const ListedEntry& listed = entries_[entry];
    if (!listed.Problem.empty())
        return Failed(listed.Problem);
    if (reader == nullptr)
        return Failed(openError);
    try {
        reader->Read(listed, bitmap);
        return MakeThumbnail(bitmap, options_.MaxSide);
    } catch (const std::exception& e) {
        return Failed(e.what());
    }
}

void ThumbnailLoader::Work()
{
    // Opened on the worker, so that the window has its list before any file is opened.
    std::optional<PackPictureReader> reader;
    std::string openError;
    try {
        reader.emplace(packPath_);
    } catch (const std::exception& e) {
        openError = e.what();
    }
    Bitmap32 bitmap;

    std::unique_lock lock(mutex_);
    while (!stop_) {
        const std::int64_t next = NextEntry();
        if (next < 0) {
            work_.wait(lock);
            continue;
        }
        const auto entry = static_cast<std::uint32_t>(next);
        const std::size_t expected = ExpectedCost(entry);
        state_[entry] = State::Making;
        makingBytes_ += expected;
        lock.unlock();
        std::shared_ptr<const Thumbnail> thumbnail;
        try {
            thumbnail = std::make_shared<const Thumbnail>(Make(entry, reader ? &*reader : nullptr, openError, bitmap));
        } catch (...) {
            // No memory for the thumbnail itself: the entry stays missing until it is asked
            // for again.
            lock.lock();
            makingBytes_ -= expected;
            state_[entry] = State::Missing;
            continue;
        }
        lock.lock();
        makingBytes_ -= expected;
        if (Keep(entry, std::move(thumbnail)) && ready_) {
            lock.unlock();
            ready_();
            lock.lock();
        }
    }
}

} // namespace packsmith
