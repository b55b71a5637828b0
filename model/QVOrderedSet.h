// An ordered collection of shared records with set semantics by identity: each record at most
// once, positions kept, membership and position looked up in constant time. Every first, last
// and index access is guarded: out of range gives an empty pointer. After an insertion or a
// removal only the positions from that point on are looked up again, so that a change near the
// end of a large set stays cheap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

template <class T>
class QVOrderedSet {
public:
    using Pointer = std::shared_ptr<T>;
    using const_iterator = typename std::vector<Pointer>::const_iterator;

    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }
    const std::vector<Pointer>& items() const { return items_; }

    Pointer first() const { return items_.empty() ? nullptr : items_.front(); }
    Pointer last() const { return items_.empty() ? nullptr : items_.back(); }
    Pointer at(std::size_t index) const { return index < items_.size() ? items_[index] : nullptr; }

    bool contains(const Pointer& item) const { return item && indexOf(item).has_value(); }
    std::optional<std::size_t> indexOf(const Pointer& item) const
    {
        if (!item)
            return std::nullopt;
        refreshIndex();
        auto found = index_.find(item.get());
        if (found == index_.end())
            return std::nullopt;
        return found->second;
    }

    // Appends `item` unless it is empty or already present; returns whether it was added.
    bool add(Pointer item)
    {
        if (!item || contains(item))
            return false;
        index_[item.get()] = items_.size();
        items_.push_back(std::move(item));
        return true;
    }
    // Inserts at `index` (clamped to the end) unless present.
    bool insert(std::size_t index, Pointer item)
    {
        if (!item || contains(item))
            return false;
        const std::size_t at = std::min(index, items_.size());
        index_[item.get()] = at;
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
        markStaleFrom(at + 1);
        return true;
    }
    // Inserts `items` in their order at `index` (clamped to the end), leaving out empty ones and
    // those already present; returns how many went in.
    std::size_t insert(std::size_t index, const std::vector<Pointer>& items)
    {
        const std::size_t at = std::min(index, items_.size());
        std::vector<Pointer> added;
        for (const Pointer& item : items) {
            // Keys are kept on every change; only positions may wait for a refresh.
            if (!item || index_.count(item.get()))
                continue;
            index_[item.get()] = at + added.size();
            added.push_back(item);
        }
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
        markStaleFrom(at + added.size());
        return added.size();
    }
    bool remove(const Pointer& item)
    {
        const auto index = indexOf(item);
        if (!index)
            return false;
        index_.erase(item.get());
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(*index));
        markStaleFrom(*index);
        return true;
    }
    // Removes the given records, found by their positions rather than by a pass over the whole
    // set; empty, absent and repeated ones are passed over. Returns how many went.
    std::size_t removeAll(const std::vector<Pointer>& items)
    {
        std::vector<std::size_t> positions;
        positions.reserve(items.size());
        for (const Pointer& item : items) {
            if (const auto index = indexOf(item))
                positions.push_back(*index);
        }
        if (positions.empty())
            return 0;
        std::sort(positions.begin(), positions.end());
        positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
        for (const std::size_t position : positions)
            index_.erase(items_[position].get());
        std::size_t kept = positions.front();
        auto next = positions.begin();
        for (std::size_t i = positions.front(); i < items_.size(); ++i) {
            if (next != positions.end() && *next == i) {
                ++next;
                continue;
            }
            items_[kept++] = std::move(items_[i]);
        }
        items_.resize(kept);
        markStaleFrom(positions.front());
        return positions.size();
    }
    // Removes every record for which `pred` holds, in one pass; returns how many went.
    template <class Pred>
    std::size_t removeIf(Pred pred)
    {
        std::size_t kept = 0;
        std::size_t firstRemoved = items_.size();
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (pred(items_[i])) {
                index_.erase(items_[i].get());
                firstRemoved = std::min(firstRemoved, i);
                continue;
            }
            if (kept != i)
                items_[kept] = std::move(items_[i]);
            ++kept;
        }
        const std::size_t removed = items_.size() - kept;
        items_.resize(kept);
        markStaleFrom(firstRemoved);
        return removed;
    }
    void clear()
    {
        items_.clear();
        index_.clear();
        staleFrom_ = kValid;
    }
    void reserve(std::size_t n)
    {
        items_.reserve(n);
        index_.reserve(n);
    }
    // Stable sort by `less` on the records.
    template <class Less>
    void sort(Less less)
    {
        const auto byRecord = [&](const Pointer& a, const Pointer& b) { return less(*a, *b); };
        if (std::is_sorted(items_.begin(), items_.end(), byRecord))
            return;
        std::stable_sort(items_.begin(), items_.end(), byRecord);
        markStaleFrom(0);
    }

private:
    static constexpr std::size_t kValid = static_cast<std::size_t>(-1);

    void markStaleFrom(std::size_t position) { staleFrom_ = std::min(staleFrom_, position); }
    // Looks up again the positions from the first one a change moved; the records themselves
    // are already keys of the index.
    void refreshIndex() const
    {
        for (std::size_t i = staleFrom_; i < items_.size(); ++i)
            index_[items_[i].get()] = i;
        staleFrom_ = kValid;
    }

    std::vector<Pointer> items_;
    mutable std::unordered_map<const T*, std::size_t> index_;
    // Positions from here on may be out of date in `index_`; kValid when none are.
    mutable std::size_t staleFrom_ = kValid;
};
