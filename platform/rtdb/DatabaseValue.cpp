#include "platform/rtdb/DatabaseValue.h"

#include <algorithm>
#include <cmath>
#include <variant>

namespace qv {

namespace rtdb_detail {

using Link = std::shared_ptr<const MapNode>;

// What comparing a key needs, kept inside each node so that a lookup rarely reads the key
// text: its first 8 bytes as a big-endian number (zero-padded), its length, and its value when
// it reads as a 32-bit integer.
struct KeyOrder {
    std::uint64_t prefix = 0;
    std::uint32_t length = 0;
    std::int32_t integer = 0;
    bool isInteger = false;

    explicit KeyOrder(std::string_view key)
    {
        for (std::size_t i = 0; i < 8; ++i)
            prefix = (prefix << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
        length = static_cast<std::uint32_t>(key.size());
        if (auto value = integerKey(key)) {
            integer = *value;
            isInteger = true;
        }
    }
};

// One child of a map, in a persistent treap ordered by the database key order. The priority is
// a hash of the key, so a set of keys has exactly one tree shape: two maps with the same keys
// have the same shape, which lets equality skip every subtree they share. The key text is
// shared by every version of the node.
struct MapNode {
    KeyOrder order;
    std::uint64_t priority;
    std::shared_ptr<const std::string> key;
    DatabaseValue value;
    Link left;
    Link right;
    std::size_t size;
};

struct ValueNode {
    std::variant<bool, std::int64_t, double, std::string, Link> data;
};

namespace {

std::uint64_t keyPriority(std::string_view key)
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
    return hash;
}

std::size_t sizeOf(const Link& link) { return link ? link->size : 0; }

struct KeyProbe {
    std::string_view key;
    KeyOrder order;
    explicit KeyProbe(std::string_view k) : key(k), order(k) {}
};

int compare(const KeyProbe& probe, const MapNode& node)
{
    const KeyOrder& a = probe.order;
    const KeyOrder& b = node.order;
    if (a.isInteger || b.isInteger) {
        if (a.isInteger && b.isInteger)
            return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
        return a.isInteger ? -1 : 1;
    }
    if (a.prefix != b.prefix)
        return a.prefix < b.prefix ? -1 : 1;
    if (a.length <= 8 && b.length <= 8)
        return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
    int c = probe.key.compare(*node.key);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// True when a node with (priority, probe) sits above `node` in the treap.
bool above(std::uint64_t priority, const KeyProbe& probe, const MapNode& node)
{
    if (priority != node.priority)
        return priority > node.priority;
    return compare(probe, node) < 0;
}

Link makeNode(const MapNode& from, Link left, Link right)
{
    auto size = 1 + sizeOf(left) + sizeOf(right);
    return std::make_shared<const MapNode>(
        MapNode{from.order, from.priority, from.key, from.value, std::move(left), std::move(right), size});
}

Link makeNode(const MapNode& from, DatabaseValue value)
{
    return std::make_shared<const MapNode>(
        MapNode{from.order, from.priority, from.key, std::move(value), from.left, from.right, from.size});
}

const MapNode* find(const Link& root, const KeyProbe& probe)
{
    const MapNode* node = root.get();
    while (node) {
        int c = compare(probe, *node);
        if (c == 0)
            return node;
        node = c < 0 ? node->left.get() : node->right.get();
    }
    return nullptr;
}

// Splits `root`, which does not hold the probed key, into the keys before and after it.
std::pair<Link, Link> split(const Link& root, const KeyProbe& probe)
{
    if (!root)
        return {};
    if (compare(probe, *root) < 0) {
        auto [left, right] = split(root->left, probe);
        return {left, makeNode(*root, right, root->right)};
    }
    auto [left, right] = split(root->right, probe);
    return {makeNode(*root, root->left, left), right};
}

Link insert(const Link& root, const KeyProbe& probe, std::uint64_t priority, const DatabaseValue& value)
{
    if (!root || above(priority, probe, *root)) {
        auto [left, right] = split(root, probe);
        MapNode fresh{probe.order, priority, std::make_shared<const std::string>(probe.key), value, nullptr, nullptr, 0};
        return makeNode(fresh, std::move(left), std::move(right));
    }
    int c = compare(probe, *root);
    if (c == 0)
        return makeNode(*root, value);
    if (c < 0)
        return makeNode(*root, insert(root->left, probe, priority, value), root->right);
    return makeNode(*root, root->left, insert(root->right, probe, priority, value));
}

Link merge(const Link& a, const Link& b)
{
    if (!a)
        return b;
    if (!b)
        return a;
    if (above(a->priority, KeyProbe(*a->key), *b))
        return makeNode(*a, a->left, merge(a->right, b));
    return makeNode(*b, merge(a, b->left), b->right);
}

Link erase(const Link& root, const KeyProbe& probe)
{
    int c = compare(probe, *root);
    if (c == 0)
        return merge(root->left, root->right);
    if (c < 0)
        return makeNode(*root, erase(root->left, probe), root->right);
    return makeNode(*root, root->left, erase(root->right, probe));
}

// Builds the treap of entries already sorted in key order, without duplicates, in linear time.
Link build(std::vector<MapNode>& sorted)
{
    std::size_t n = sorted.size();
    std::vector<std::ptrdiff_t> left(n, -1), right(n, -1), stack;
    for (std::size_t i = 0; i < n; ++i) {
        std::ptrdiff_t last = -1;
        KeyProbe probe(*sorted[i].key);
        while (!stack.empty() && above(sorted[i].priority, probe, sorted[static_cast<std::size_t>(stack.back())])) {
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
        auto size = 1 + sizeOf(l) + sizeOf(r);
        return std::make_shared<const MapNode>(
            MapNode{sorted[i].order, sorted[i].priority, std::move(sorted[i].key), std::move(sorted[i].value), std::move(l),
                    std::move(r), size});
    };
    return make(make, stack.front());
}

bool linksEqual(const Link& a, const Link& b)
{
    if (a == b)
        return true;
    if (!a || !b || a->size != b->size || (a->key != b->key && *a->key != *b->key))
        return false;
    return a->value == b->value && linksEqual(a->left, b->left) && linksEqual(a->right, b->right);
}

}  // namespace
}  // namespace rtdb_detail

using rtdb_detail::Link;
using rtdb_detail::MapNode;
using rtdb_detail::ValueNode;

namespace {

const Link* mapLink(const std::shared_ptr<const ValueNode>& node)
{
    return node ? std::get_if<Link>(&node->data) : nullptr;
}

}  // namespace

class DatabaseValueAccess {
public:
    static DatabaseValue fromLink(Link link)
    {
        if (!link)
            return {};
        return DatabaseValue(std::make_shared<const ValueNode>(ValueNode{std::move(link)}));
    }
    static const Link* link(const DatabaseValue& value) { return mapLink(value.node_); }
};

DatabaseValue::DatabaseValue(bool value) : node_(std::make_shared<const ValueNode>(ValueNode{value})) {}

DatabaseValue::DatabaseValue(double value) : node_(std::make_shared<const ValueNode>(ValueNode{value})) {}

DatabaseValue::DatabaseValue(std::string value)
    : node_(std::make_shared<const ValueNode>(ValueNode{std::move(value)}))
{
}

DatabaseValue DatabaseValue::makeInt(std::int64_t value)
{
    return DatabaseValue(std::make_shared<const ValueNode>(ValueNode{value}));
}

DatabaseValue DatabaseValue::map(std::vector<Entry> entries)
{
    std::vector<MapNode> nodes;
    nodes.reserve(entries.size());
    for (auto& [key, value] : entries) {
        rtdb_detail::KeyOrder order(key);
        auto priority = rtdb_detail::keyPriority(key);
        nodes.push_back(MapNode{order, priority, std::make_shared<const std::string>(std::move(key)), std::move(value),
                                nullptr, nullptr, 0});
    }
    auto less = [](const MapNode& a, const MapNode& b) {
        return rtdb_detail::compare(rtdb_detail::KeyProbe(*a.key), b) < 0;
    };
    std::stable_sort(nodes.begin(), nodes.end(), less);
    // Keep the last entry of each key, and no null ones.
    std::vector<MapNode> unique;
    unique.reserve(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (i + 1 < nodes.size() && *nodes[i].key == *nodes[i + 1].key)
            continue;
        if (!nodes[i].value.isNull())
            unique.push_back(std::move(nodes[i]));
    }
    return DatabaseValueAccess::fromLink(rtdb_detail::build(unique));
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
    if (!node_)
        return Kind::Null;
    switch (node_->data.index()) {
    case 0:
        return Kind::Bool;
    case 1:
        return Kind::Int;
    case 2:
        return Kind::Double;
    case 3:
        return Kind::String;
    default:
        return Kind::Map;
    }
}

std::int64_t DatabaseValue::toInt(std::int64_t fallback) const
{
    if (!node_)
        return fallback;
    if (auto* b = std::get_if<bool>(&node_->data))
        return *b ? 1 : 0;
    if (auto* i = std::get_if<std::int64_t>(&node_->data))
        return *i;
    if (auto* d = std::get_if<double>(&node_->data)) {
        // Outside the 64-bit range (or NaN) there is no sensible integer.
        if (!(*d >= -9.2233720368547758e18 && *d < 9.2233720368547758e18))
            return fallback;
        return static_cast<std::int64_t>(*d);
    }
    return fallback;
}

double DatabaseValue::toDouble(double fallback) const
{
    if (!node_)
        return fallback;
    if (auto* b = std::get_if<bool>(&node_->data))
        return *b ? 1 : 0;
    if (auto* i = std::get_if<std::int64_t>(&node_->data))
        return static_cast<double>(*i);
    if (auto* d = std::get_if<double>(&node_->data))
        return *d;
    return fallback;
}

bool DatabaseValue::toBool(bool fallback) const
{
    if (!node_)
        return fallback;
    if (auto* b = std::get_if<bool>(&node_->data))
        return *b;
    if (auto* i = std::get_if<std::int64_t>(&node_->data))
        return *i != 0;
    if (auto* d = std::get_if<double>(&node_->data))
        return *d != 0;
    return fallback;
}

std::string DatabaseValue::toString(std::string fallback) const
{
    const std::string* text = stringIfAny();
    return text ? *text : std::move(fallback);
}

const std::string* DatabaseValue::stringIfAny() const
{
    return node_ ? std::get_if<std::string>(&node_->data) : nullptr;
}

std::size_t DatabaseValue::childCount() const
{
    const Link* link = mapLink(node_);
    return link ? rtdb_detail::sizeOf(*link) : 0;
}

bool DatabaseValue::hasChild(std::string_view key) const { return !child(key).isNull(); }

DatabaseValue DatabaseValue::child(std::string_view key) const
{
    const Link* link = mapLink(node_);
    if (!link)
        return {};
    const MapNode* node = rtdb_detail::find(*link, rtdb_detail::KeyProbe(key));
    return node ? node->value : DatabaseValue();
}

DatabaseValue DatabaseValue::at(const DatabasePath& path) const
{
    const DatabaseValue* current = this;
    for (const auto& segment : path.segments()) {
        const Link* link = mapLink(current->node_);
        if (!link)
            return {};
        const MapNode* node = rtdb_detail::find(*link, rtdb_detail::KeyProbe(segment));
        if (!node)
            return {};
        current = &node->value;
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
            const Link* link = mapLink(current->node_);
            if (!link)
                return nullptr;
            const MapNode* node = rtdb_detail::find(*link, rtdb_detail::KeyProbe(path.substr(start, slash - start)));
            if (!node)
                return nullptr;
            current = &node->value;
        }
        start = slash + 1;
    }
    return current;
}

DatabaseValue DatabaseValue::withChild(std::string_view key, const DatabaseValue& value) const
{
    const Link* link = mapLink(node_);
    Link root = link ? *link : nullptr;
    rtdb_detail::KeyProbe probe(key);
    if (value.isNull()) {
        if (!rtdb_detail::find(root, probe))
            return *this;
        return DatabaseValueAccess::fromLink(rtdb_detail::erase(root, probe));
    }
    return DatabaseValueAccess::fromLink(rtdb_detail::insert(root, probe, rtdb_detail::keyPriority(key), value));
}

DatabaseValue DatabaseValue::withValueAt(const DatabasePath& path, const DatabaseValue& value) const
{
    const auto& segments = path.segments();
    auto replace = [&](auto& self, const DatabaseValue& node, std::size_t index) -> DatabaseValue {
        if (index == segments.size())
            return node == value ? node : value;
        const DatabaseValue* current = node.find(segments[index]);
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
    const MapNode* node = stack_.back();
    return ChildRef{*node->key, node->value};
}

DatabaseValue::ChildIterator& DatabaseValue::ChildIterator::operator++()
{
    const MapNode* node = stack_.back();
    stack_.pop_back();
    descendLeft(node->right.get());
    return *this;
}

void DatabaseValue::ChildIterator::descendLeft(const MapNode* node)
{
    while (node) {
        stack_.push_back(node);
        node = node->left.get();
    }
}

DatabaseValue::ChildRange DatabaseValue::children() const&
{
    ChildRange range;
    if (const Link* link = mapLink(node_))
        range.first.descendLeft(link->get());
    return range;
}

bool DatabaseValue::operator==(const DatabaseValue& other) const
{
    if (node_ == other.node_)
        return true;
    if (!node_ || !other.node_ || node_->data.index() != other.node_->data.index())
        return false;
    if (const Link* link = mapLink(node_))
        return rtdb_detail::linksEqual(*link, *mapLink(other.node_));
    return node_->data == other.node_->data;
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
