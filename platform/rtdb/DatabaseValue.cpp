#include "platform/rtdb/DatabaseValue.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

namespace qv {

namespace rtdb_detail {

// Every shared node starts with its count of holders, so that one retain serves them all.
struct Counted {
    mutable std::atomic<std::uint32_t> holders{1};
};

struct StringNode : Counted {
    explicit StringNode(std::string value) : text(std::move(value)) {}
    std::string text;
};

// What comparing a key needs besides its text: its value when it reads as a 32-bit integer.
struct KeyProbe {
    std::string_view key;
    std::int32_t integer = 0;
    bool isInteger = false;

    KeyProbe() = default;
    explicit KeyProbe(std::string_view k) : key(k)
    {
        if (auto value = integerKey(k)) {
            integer = *value;
            isInteger = true;
        }
    }
};

// The text of a key of small maps, shared by every small map that has a child of that name (a
// transcript's words all have the same seven), and by every thread: one copy for as long as any
// map holds it. Its probe is read once, when it is made, rather than at every comparison.
struct SharedKey {
    explicit SharedKey(std::string_view name) : text(name)
    {
        const KeyProbe reading(text);
        integer = reading.integer;
        isInteger = reading.isInteger;
    }
    KeyProbe probe() const
    {
        KeyProbe probe;
        probe.key = text;
        probe.integer = integer;
        probe.isInteger = isInteger;
        return probe;
    }

    std::string text;
    mutable std::atomic<std::uint32_t> holders{1};
    std::int32_t integer = 0;
    bool isInteger = false;
};

class SharedKeys {
public:
    // Never destroyed: values kept in static objects may let go of their keys after the end of main.
    static SharedKeys& instance()
    {
        static SharedKeys* keys = new SharedKeys;
        return *keys;
    }

    const SharedKey* acquire(std::string_view text)
    {
        std::lock_guard lock(mutex_);
        auto found = keys_.find(text);
        if (found != keys_.end()) {
            found->second->holders.fetch_add(1, std::memory_order_relaxed);
            return found->second;
        }
        auto* key = new SharedKey(text);
        keys_.emplace(key->text, key);
        return key;
    }
    // The caller holds `key` already, so it cannot be dropped meanwhile.
    static void retain(const SharedKey* key) { key->holders.fetch_add(1, std::memory_order_relaxed); }
    // The last holder drops it under the lock, so that acquire() never finds a key on its way out;
    // the others only count down.
    void release(const SharedKey* key)
    {
        std::uint32_t holders = key->holders.load(std::memory_order_relaxed);
        while (holders > 1)
            if (key->holders.compare_exchange_weak(holders, holders - 1, std::memory_order_acq_rel))
                return;
        std::lock_guard lock(mutex_);
        if (key->holders.fetch_sub(1, std::memory_order_acq_rel) != 1)
            return;
        keys_.erase(key->text);
        delete key;
    }

private:
    std::mutex mutex_;
    std::unordered_map<std::string_view, const SharedKey*> keys_;
};

// One child of a small map.
struct FlatEntry {
    FlatEntry(std::string_view name, DatabaseValue v) : key(SharedKeys::instance().acquire(name)), value(std::move(v)) {}
    FlatEntry(const FlatEntry& other) : key(other.key), value(other.value) { SharedKeys::retain(key); }
    // The child of the same name as `other` with another value: its key is taken without a look-up.
    FlatEntry(const FlatEntry& other, DatabaseValue v) : key(other.key), value(std::move(v)) { SharedKeys::retain(key); }
    FlatEntry& operator=(const FlatEntry&) = delete;
    ~FlatEntry() { SharedKeys::instance().release(key); }
    const std::string& name() const { return key->text; }

    const SharedKey* key;
    DatabaseValue value;
};

// A map of at most kSmallMapSize children, in key order, in one block: this header, then the
// entries.
struct FlatMap : Counted {
    std::uint32_t count = 0;
    FlatEntry* begin() { return reinterpret_cast<FlatEntry*>(this + 1); }
    const FlatEntry* begin() const { return reinterpret_cast<const FlatEntry*>(this + 1); }
    const FlatEntry* end() const { return begin() + count; }
};
static_assert(sizeof(FlatMap) % alignof(FlatEntry) == 0);

// Maps up to this size are kept flat; a change copies the whole block, which at this size costs
// less than the tree's nodes would. Larger ones are trees. The form follows from the size alone,
// so two maps with the same children always have the same form.
constexpr std::uint32_t kSmallMapSize = 32;

namespace {

int compare(const KeyProbe& a, const KeyProbe& b)
{
    if (a.isInteger || b.isInteger) {
        if (a.isInteger && b.isInteger)
            return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
        return a.isInteger ? -1 : 1;
    }
    int c = a.key.compare(b.key);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

// One child of a large map, in a persistent treap ordered by the database key order. The priority is
// a hash of the key, so a set of keys has exactly one tree shape: two maps with the same keys
// have the same shape, which lets equality skip every subtree they share. The key's text is
// shared by every version of the node, so that a change, which copies the nodes on its path,
// copies no text.
struct MapNode : Counted {
    std::uint32_t size : 31 = 1;
    std::uint32_t isInteger : 1 = 0;
    std::uint32_t priority = 0;
    std::int32_t integer = 0;
    const StringNode* keyText = nullptr;
    DatabaseValue value;
    const MapNode* left = nullptr;
    const MapNode* right = nullptr;

    const std::string& key() const { return keyText->text; }
    KeyProbe probe() const
    {
        KeyProbe probe;
        probe.key = key();
        probe.integer = integer;
        probe.isInteger = isInteger;
        return probe;
    }
    ~MapNode();
};

namespace {

void retainNode(const Counted* node)
{
    if (node)
        node->holders.fetch_add(1, std::memory_order_relaxed);
}

template <typename T>
bool lastHolder(const T* node)
{
    return node && node->holders.fetch_sub(1, std::memory_order_acq_rel) == 1;
}

void releaseTree(const MapNode* node)
{
    if (lastHolder(node))
        delete node;
}

void releaseFlat(const FlatMap* map)
{
    if (!lastHolder(map))
        return;
    auto* mutableMap = const_cast<FlatMap*>(map);
    for (FlatEntry* entry = mutableMap->begin(); entry != mutableMap->begin() + map->count; ++entry)
        entry->~FlatEntry();
    mutableMap->~FlatMap();
    ::operator delete(mutableMap);
}

// A held link to a tree node.
template <typename T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    // Takes over a holder count already made for it.
    static Ref adopt(const T* node)
    {
        Ref ref;
        ref.node_ = node;
        return ref;
    }
    static Ref share(const T* node)
    {
        retainNode(node);
        return adopt(node);
    }
    Ref(const Ref& other) : node_(other.node_) { retainNode(node_); }
    Ref(Ref&& other) noexcept : node_(std::exchange(other.node_, nullptr)) {}
    Ref& operator=(Ref other) noexcept
    {
        std::swap(node_, other.node_);
        return *this;
    }
    ~Ref() { releaseTree(node_); }
    const T* get() const { return node_; }
    const T* operator->() const { return node_; }
    explicit operator bool() const { return node_ != nullptr; }
    // Hands the holder count to the caller.
    const T* take() { return std::exchange(node_, nullptr); }

private:
    const T* node_ = nullptr;
};

using Link = Ref<MapNode>;

std::uint32_t keyPriority(std::string_view key)
{
    std::uint64_t hash = 1469598103934665603ULL;
    for (char c : key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    hash ^= hash >> 31;
    hash *= 0x7fb5d329728ea185ULL;
    hash ^= hash >> 27;
    hash *= 0x81dadef4bc2dd44dULL;
    hash ^= hash >> 33;
    return static_cast<std::uint32_t>(hash >> 32);
}

std::uint32_t sizeOf(const MapNode* node) { return node ? node->size : 0; }

// True when a node with (priority, probe) sits above `node` in the treap.
bool above(std::uint32_t priority, const KeyProbe& probe, const MapNode& node)
{
    if (priority != node.priority)
        return priority > node.priority;
    return compare(probe, node.probe()) < 0;
}

// A node like `from` (key, priority) with `value` and the given children, whose holds it takes.
Link makeNode(const MapNode& from, DatabaseValue value, Link left, Link right)
{
    auto* node = new MapNode;
    node->priority = from.priority;
    node->integer = from.integer;
    node->isInteger = from.isInteger;
    node->keyText = from.keyText;
    retainNode(node->keyText);
    node->value = std::move(value);
    node->size = 1 + sizeOf(left.get()) + sizeOf(right.get());
    node->left = left.take();
    node->right = right.take();
    return Link::adopt(node);
}

Link withChildren(const MapNode& from, Link left, Link right)
{
    return makeNode(from, from.value, std::move(left), std::move(right));
}

Link withValue(const MapNode& from, DatabaseValue value)
{
    return makeNode(from, std::move(value), Link::share(from.left), Link::share(from.right));
}

const MapNode* find(const MapNode* node, const KeyProbe& probe)
{
    while (node) {
        int c = compare(probe, node->probe());
        if (c == 0)
            return node;
        node = c < 0 ? node->left : node->right;
    }
    return nullptr;
}

// Splits `root`, which does not hold the probed key, into the keys before and after it.
std::pair<Link, Link> split(const MapNode* root, const KeyProbe& probe)
{
    if (!root)
        return {};
    if (compare(probe, root->probe()) < 0) {
        auto [left, right] = split(root->left, probe);
        return {std::move(left), withChildren(*root, std::move(right), Link::share(root->right))};
    }
    auto [left, right] = split(root->right, probe);
    return {withChildren(*root, Link::share(root->left), std::move(left)), std::move(right)};
}

Link insert(const MapNode* root, const KeyProbe& probe, std::uint32_t priority, const DatabaseValue& value)
{
    if (!root || above(priority, probe, *root)) {
        auto [left, right] = split(root, probe);
        MapNode fresh;
        fresh.priority = priority;
        fresh.integer = probe.integer;
        fresh.isInteger = probe.isInteger;
        fresh.keyText = new StringNode(std::string(probe.key));
        return makeNode(fresh, value, std::move(left), std::move(right));
    }
    int c = compare(probe, root->probe());
    if (c == 0)
        return withValue(*root, value);
    if (c < 0)
        return withChildren(*root, insert(root->left, probe, priority, value), Link::share(root->right));
    return withChildren(*root, Link::share(root->left), insert(root->right, probe, priority, value));
}

Link merge(const MapNode* a, const MapNode* b)
{
    if (!a)
        return Link::share(b);
    if (!b)
        return Link::share(a);
    if (above(a->priority, a->probe(), *b))
        return withChildren(*a, Link::share(a->left), merge(a->right, b));
    return withChildren(*b, merge(a, b->left), Link::share(b->right));
}

Link erase(const MapNode* root, const KeyProbe& probe)
{
    int c = compare(probe, root->probe());
    if (c == 0)
        return merge(root->left, root->right);
    if (c < 0)
        return withChildren(*root, erase(root->left, probe), Link::share(root->right));
    return withChildren(*root, Link::share(root->left), erase(root->right, probe));
}

struct SortedEntry {
    KeyProbe probe;
    std::uint32_t priority;
    DatabaseValue::Entry* entry;
};

// Builds the treap of entries already sorted in key order, without duplicates, in linear time.
Link buildTree(std::vector<SortedEntry>& sorted)
{
    std::size_t n = sorted.size();
    std::vector<std::ptrdiff_t> left(n, -1), right(n, -1), stack;
    for (std::size_t i = 0; i < n; ++i) {
        std::ptrdiff_t last = -1;
        while (!stack.empty()) {
            const SortedEntry& top = sorted[static_cast<std::size_t>(stack.back())];
            bool higher = sorted[i].priority != top.priority ? sorted[i].priority > top.priority
                                                             : compare(sorted[i].probe, top.probe) < 0;
            if (!higher)
                break;
            last = stack.back();
            stack.pop_back();
        }
        left[i] = last;
        if (!stack.empty())
            right[static_cast<std::size_t>(stack.back())] = static_cast<std::ptrdiff_t>(i);
        stack.push_back(static_cast<std::ptrdiff_t>(i));
    }
    if (stack.empty())
        return nullptr;
    auto make = [&](auto& self, std::ptrdiff_t index) -> Link {
        if (index < 0)
            return nullptr;
        auto i = static_cast<std::size_t>(index);
        Link l = self(self, left[i]);
        Link r = self(self, right[i]);
        auto* node = new MapNode;
        node->priority = sorted[i].priority;
        node->integer = sorted[i].probe.integer;
        node->isInteger = sorted[i].probe.isInteger;
        node->keyText = new StringNode(std::move(sorted[i].entry->first));
        node->value = std::move(sorted[i].entry->second);
        node->size = 1 + sizeOf(l.get()) + sizeOf(r.get());
        node->left = l.take();
        node->right = r.take();
        return Link::adopt(node);
    };
    return make(make, stack.front());
}

// A small map of `count` entries, filled by `fill(FlatEntry* storage)` constructing each in place.
template <typename Fill>
const FlatMap* makeFlat(std::uint32_t count, Fill&& fill)
{
    void* memory = ::operator new(sizeof(FlatMap) + count * sizeof(FlatEntry));
    auto* map = new (memory) FlatMap;
    map->count = count;
    fill(map->begin());
    return map;
}

const FlatMap* flatOf(std::vector<DatabaseValue::Entry>& entries)
{
    return makeFlat(static_cast<std::uint32_t>(entries.size()), [&](FlatEntry* out) {
        for (auto& [key, value] : entries)
            new (out++) FlatEntry(key, std::move(value));
    });
}

// Where `key` is or would go in a small map.
const FlatEntry* lowerBound(const FlatMap& map, const KeyProbe& probe)
{
    return std::lower_bound(map.begin(), map.end(), probe,
                            [](const FlatEntry& entry, const KeyProbe& p) { return compare(entry.key->probe(), p) < 0; });
}

bool linksEqual(const MapNode* a, const MapNode* b)
{
    if (a == b)
        return true;
    if (!a || !b || a->size != b->size || (a->keyText != b->keyText && a->key() != b->key()))
        return false;
    return a->value == b->value && linksEqual(a->left, b->left) && linksEqual(a->right, b->right);
}

void collect(const MapNode* node, std::vector<DatabaseValue::Entry>& out)
{
    if (!node)
        return;
    collect(node->left, out);
    out.emplace_back(node->key(), node->value);
    collect(node->right, out);
}

}  // namespace

MapNode::~MapNode()
{
    releaseTree(left);
    releaseTree(right);
    if (lastHolder(keyText))
        delete keyText;
}

}  // namespace rtdb_detail

using rtdb_detail::FlatEntry;
using rtdb_detail::FlatMap;
using rtdb_detail::KeyProbe;
using rtdb_detail::Link;
using rtdb_detail::MapNode;
using rtdb_detail::StringNode;

class DatabaseValueAccess {
public:
    // The map of `sorted` entries: in key order, without duplicates or null values.
    static DatabaseValue fromSorted(std::vector<DatabaseValue::Entry> sorted)
    {
        DatabaseValue value;
        if (sorted.empty())
            return value;
        if (sorted.size() <= rtdb_detail::kSmallMapSize)
            return fromFlat(rtdb_detail::flatOf(sorted));
        std::vector<rtdb_detail::SortedEntry> probes;
        probes.reserve(sorted.size());
        for (auto& entry : sorted)
            probes.push_back({KeyProbe(entry.first), rtdb_detail::keyPriority(entry.first), &entry});
        return fromTree(rtdb_detail::buildTree(probes));
    }
    static DatabaseValue fromFlat(const FlatMap* map)
    {
        DatabaseValue value;
        if (!map)
            return value;
        if (map->count == 0) {
            rtdb_detail::releaseFlat(map);
            return value;
        }
        value.tag_ = DatabaseValue::Tag::SmallMap;
        value.data_.node = map;
        return value;
    }
    // A large map; one that shrank to a small map's size turns into one.
    static DatabaseValue fromTree(Link root)
    {
        DatabaseValue value;
        if (!root)
            return value;
        if (root->size <= rtdb_detail::kSmallMapSize) {
            std::vector<DatabaseValue::Entry> entries;
            entries.reserve(root->size);
            rtdb_detail::collect(root.get(), entries);
            return fromSorted(std::move(entries));
        }
        value.tag_ = DatabaseValue::Tag::LargeMap;
        value.data_.node = root.take();
        return value;
    }
    static const FlatMap* flat(const DatabaseValue& value)
    {
        return value.tag_ == DatabaseValue::Tag::SmallMap ? static_cast<const FlatMap*>(value.data_.node) : nullptr;
    }
    static const MapNode* tree(const DatabaseValue& value)
    {
        return value.tag_ == DatabaseValue::Tag::LargeMap ? static_cast<const MapNode*>(value.data_.node) : nullptr;
    }
    // The child at `key` as stored in the map, or nullptr.
    static const DatabaseValue* child(const DatabaseValue& value, std::string_view key)
    {
        if (value.tag_ < DatabaseValue::Tag::SmallMap)
            return nullptr;
        KeyProbe probe(key);
        if (const FlatMap* map = flat(value)) {
            const FlatEntry* entry = rtdb_detail::lowerBound(*map, probe);
            return entry != map->end() && entry->name() == key ? &entry->value : nullptr;
        }
        const MapNode* node = rtdb_detail::find(tree(value), probe);
        return node ? &node->value : nullptr;
    }
};

void DatabaseValue::retain() const { rtdb_detail::retainNode(static_cast<const rtdb_detail::Counted*>(data_.node)); }

void DatabaseValue::release()
{
    switch (tag_) {
    case Tag::String: {
        auto* node = static_cast<const StringNode*>(data_.node);
        if (rtdb_detail::lastHolder(node))
            delete node;
        break;
    }
    case Tag::SmallMap:
        rtdb_detail::releaseFlat(static_cast<const FlatMap*>(data_.node));
        break;
    case Tag::LargeMap:
        rtdb_detail::releaseTree(static_cast<const MapNode*>(data_.node));
        break;
    default:
        break;
    }
    tag_ = Tag::Null;
}

DatabaseValue::DatabaseValue(std::string value) : tag_(Tag::String)
{
    data_.node = static_cast<const rtdb_detail::Counted*>(new StringNode(std::move(value)));
}

DatabaseValue DatabaseValue::map(std::vector<Entry> entries)
{
    std::vector<KeyProbe> probes;
    probes.reserve(entries.size());
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        probes.emplace_back(entries[i].first);
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return rtdb_detail::compare(probes[a], probes[b]) < 0; });
    // Keep the last entry of each key, and no null ones.
    std::vector<Entry> unique;
    unique.reserve(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        Entry& entry = entries[order[i]];
        if (i + 1 < order.size() && entry.first == entries[order[i + 1]].first)
            continue;
        if (!entry.second.isNull())
            unique.push_back(std::move(entry));
    }
    return DatabaseValueAccess::fromSorted(std::move(unique));
}

DatabaseValue DatabaseValue::serverTimestamp()
{
    static const DatabaseValue placeholder = map({{".sv", DatabaseValue("timestamp")}});
    return placeholder;
}

bool DatabaseValue::isServerTimestamp() const
{
    if (childCount() != 1)
        return false;
    const std::string* text = child(".sv").stringIfAny();
    return text && *text == "timestamp";
}

bool DatabaseValue::containsServerTimestamp() const
{
    if (!isMap())
        return false;
    if (isServerTimestamp())
        return true;
    for (auto entry : children())
        if (entry.value.containsServerTimestamp())
            return true;
    return false;
}

DatabaseValue DatabaseValue::resolvingServerTimestamps(std::int64_t milliseconds) const
{
    if (isServerTimestamp())
        return DatabaseValue(milliseconds);
    if (!containsServerTimestamp())
        return *this;
    DatabaseValue result = *this;
    for (auto entry : children())
        if (entry.value.containsServerTimestamp())
            result = result.withChild(entry.key, entry.value.resolvingServerTimestamps(milliseconds));
    return result;
}

DatabaseValue::Kind DatabaseValue::kind() const
{
    switch (tag_) {
    case Tag::Null:
        return Kind::Null;
    case Tag::Bool:
        return Kind::Bool;
    case Tag::Int:
        return Kind::Int;
    case Tag::Double:
        return Kind::Double;
    case Tag::String:
        return Kind::String;
    default:
        return Kind::Map;
    }
}

std::int64_t DatabaseValue::toInt(std::int64_t fallback) const
{
    switch (tag_) {
    case Tag::Bool:
        return data_.boolean ? 1 : 0;
    case Tag::Int:
        return data_.integer;
    case Tag::Double:
        // Outside the 64-bit range (or NaN) there is no sensible integer.
        if (!(data_.number >= -9.2233720368547758e18 && data_.number < 9.2233720368547758e18))
            return fallback;
        return static_cast<std::int64_t>(data_.number);
    default:
        return fallback;
    }
}

double DatabaseValue::toDouble(double fallback) const
{
    switch (tag_) {
    case Tag::Bool:
        return data_.boolean ? 1 : 0;
    case Tag::Int:
        return static_cast<double>(data_.integer);
    case Tag::Double:
        return data_.number;
    default:
        return fallback;
    }
}

bool DatabaseValue::toBool(bool fallback) const
{
    switch (tag_) {
    case Tag::Bool:
        return data_.boolean;
    case Tag::Int:
        return data_.integer != 0;
    case Tag::Double:
        return data_.number != 0;
    default:
        return fallback;
    }
}

std::string DatabaseValue::toString(std::string fallback) const
{
    const std::string* text = stringIfAny();
    return text ? *text : std::move(fallback);
}

const std::string* DatabaseValue::stringIfAny() const
{
    return tag_ == Tag::String ? &static_cast<const StringNode*>(data_.node)->text : nullptr;
}

std::size_t DatabaseValue::childCount() const
{
    if (const FlatMap* map = DatabaseValueAccess::flat(*this))
        return map->count;
    return rtdb_detail::sizeOf(DatabaseValueAccess::tree(*this));
}

bool DatabaseValue::hasChild(std::string_view key) const { return DatabaseValueAccess::child(*this, key) != nullptr; }

DatabaseValue DatabaseValue::child(std::string_view key) const
{
    const DatabaseValue* found = DatabaseValueAccess::child(*this, key);
    return found ? *found : DatabaseValue();
}

DatabaseValue DatabaseValue::at(const DatabasePath& path) const
{
    const DatabaseValue* current = this;
    for (const auto& segment : path.segments()) {
        current = DatabaseValueAccess::child(*current, segment);
        if (!current)
            return {};
    }
    return *current;
}

const DatabaseValue* DatabaseValue::find(std::string_view path) const
{
    const DatabaseValue* current = this;
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos)
            slash = path.size();
        if (slash > start) {
            current = DatabaseValueAccess::child(*current, path.substr(start, slash - start));
            if (!current)
                return nullptr;
        }
        start = slash + 1;
    }
    return current;
}

DatabaseValue DatabaseValue::withChild(std::string_view key, const DatabaseValue& value) const
{
    KeyProbe probe(key);
    if (const MapNode* root = DatabaseValueAccess::tree(*this)) {
        if (value.isNull()) {
            if (!rtdb_detail::find(root, probe))
                return *this;
            return DatabaseValueAccess::fromTree(rtdb_detail::erase(root, probe));
        }
        return DatabaseValueAccess::fromTree(rtdb_detail::insert(root, probe, rtdb_detail::keyPriority(key), value));
    }
    const FlatMap* map = DatabaseValueAccess::flat(*this);
    const FlatEntry* first = map ? map->begin() : nullptr;
    const FlatEntry* last = map ? map->end() : nullptr;
    const FlatEntry* at = map ? rtdb_detail::lowerBound(*map, probe) : nullptr;
    const bool present = at != last && at->name() == key;
    if (value.isNull() && !present)
        return *this;
    const auto before = static_cast<std::uint32_t>(at - first);
    const auto after = static_cast<std::uint32_t>(last - (present ? at + 1 : at));
    const std::uint32_t count = before + after + (value.isNull() ? 0 : 1);
    if (count > rtdb_detail::kSmallMapSize) {
        std::vector<Entry> entries;
        entries.reserve(count);
        for (const FlatEntry* entry = first; entry != last; ++entry)
            entries.emplace_back(entry->name(), entry->value);
        entries.emplace(entries.begin() + before, std::string(key), value);
        return DatabaseValueAccess::fromSorted(std::move(entries));
    }
    // The children before, the changed one (when not removed), the children after.
    return DatabaseValueAccess::fromFlat(rtdb_detail::makeFlat(count, [&](FlatEntry* out) {
        out = std::uninitialized_copy(first, at, out);
        if (present && !value.isNull())
            new (out++) FlatEntry(*at, value);
        else if (!value.isNull())
            new (out++) FlatEntry(key, value);
        std::uninitialized_copy(present ? at + 1 : at, last, out);
    }));
}

DatabaseValue DatabaseValue::withValueAt(const DatabasePath& path, const DatabaseValue& value) const
{
    const auto& segments = path.segments();
    auto replace = [&](auto& self, const DatabaseValue& node, std::size_t index) -> DatabaseValue {
        if (index == segments.size())
            return node == value ? node : value;
        const DatabaseValue* current = DatabaseValueAccess::child(node, segments[index]);
        static const DatabaseValue absent;
        DatabaseValue changed = self(self, current ? *current : absent, index + 1);
        if (changed.sameNode(current ? *current : absent))
            return node;
        return node.withChild(segments[index], changed);
    };
    return replace(replace, *this, 0);
}

DatabaseValue::ChildRef DatabaseValue::ChildIterator::operator*() const
{
    if (entry_)
        return ChildRef{entry_->name(), entry_->value};
    const MapNode* node = stack_.back();
    return ChildRef{node->key(), node->value};
}

DatabaseValue::ChildIterator& DatabaseValue::ChildIterator::operator++()
{
    if (entry_) {
        if (++entry_ == entryEnd_)
            entry_ = entryEnd_ = nullptr;
        return *this;
    }
    const MapNode* node = stack_.back();
    stack_.pop_back();
    descendLeft(node->right);
    return *this;
}

void DatabaseValue::ChildIterator::descendLeft(const MapNode* node)
{
    while (node) {
        stack_.push_back(node);
        node = node->left;
    }
}

DatabaseValue::ChildRange DatabaseValue::children() const&
{
    ChildRange range;
    if (const FlatMap* map = DatabaseValueAccess::flat(*this)) {
        range.first.entry_ = map->begin();
        range.first.entryEnd_ = map->end();
    } else if (const MapNode* root = DatabaseValueAccess::tree(*this)) {
        range.first.descendLeft(root);
    }
    return range;
}

bool DatabaseValue::sameNode(const DatabaseValue& other) const
{
    if (tag_ != other.tag_)
        return false;
    switch (tag_) {
    case Tag::Null:
        return true;
    case Tag::Bool:
        return data_.boolean == other.data_.boolean;
    case Tag::Int:
        return data_.integer == other.data_.integer;
    case Tag::Double:
        // The same bits: 0.0 and -0.0 differ, a NaN is itself.
        return std::bit_cast<std::uint64_t>(data_.number) == std::bit_cast<std::uint64_t>(other.data_.number);
    default:
        return data_.node == other.data_.node;
    }
}

bool DatabaseValue::operator==(const DatabaseValue& other) const
{
    if (tag_ != other.tag_)
        return false;
    switch (tag_) {
    case Tag::Double:
        return data_.number == other.data_.number;
    case Tag::String:
        return sameNode(other) || *stringIfAny() == *other.stringIfAny();
    case Tag::SmallMap: {
        const FlatMap* a = DatabaseValueAccess::flat(*this);
        const FlatMap* b = DatabaseValueAccess::flat(other);
        return a == b
            || std::equal(a->begin(), a->end(), b->begin(), b->end(), [](const FlatEntry& x, const FlatEntry& y) {
                   return x.key == y.key && x.value == y.value;
               });
    }
    case Tag::LargeMap:
        return rtdb_detail::linksEqual(DatabaseValueAccess::tree(*this), DatabaseValueAccess::tree(other));
    default:
        // Null, booleans and integers are equal when they are the same.
        return sameNode(other);
    }
}

std::size_t DatabaseValue::depth() const
{
    std::size_t deepest = 0;
    if (isMap())
        for (auto entry : children())
            deepest = std::max(deepest, 1 + entry.value.depth());
    return deepest;
}

}  // namespace qv
