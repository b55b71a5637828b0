// An ordered collection of shared records with set semantics by identity: each record at most
// once, positions kept, membership and position looked up in constant time. Every first, last
// and index access is guarded: out of range gives an empty pointer.
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
        index_.emplace(item.get(), items_.size());
        items_.push_back(std::move(item));
        return true;
    }
    // Inserts at `index` (clamped to the end) unless present.
    bool insert(std::size_t index, Pointer item)
    {
        if (!item || contains(item))
            return false;
        items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(std::min(index, items_.size())), std::move(item));
        indexValid_ = false;
        return true;
    }
    bool remove(const Pointer& item)
    {
        const auto index = indexOf(item);
        if (!index)
            return false;
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(*index));
        indexValid_ = false;
        return true;
    }
    void clear()
    {
        items_.clear();
        index_.clear();
        indexValid_ = true;
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
        std::stable_sort(items_.begin(), items_.end(), [&](const Pointer& a, const Pointer& b) { return less(*a, *b); });
        indexValid_ = false;
    }

private:
    void refreshIndex() const
    {
        if (indexValid_)
            return;
        index_.clear();
        for (std::size_t i = 0; i < items_.size(); ++i)
            index_.emplace(items_[i].get(), i);
        indexValid_ = true;
    }

    std::vector<Pointer> items_;
    mutable std::unordered_map<const T*, std::size_t> index_;
    mutable bool indexValid_ = true;
};
