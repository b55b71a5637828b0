#include "platform/rtdb/WireProtocol.h"

#include "platform/rtdb/ValueJson.h"

#include <QStringEncoder>

#include <memory>

namespace qv {

namespace {

// The string under `key` among the entries read, the last one for a repeated key.
const std::string* stringAt(const std::vector<DatabaseValue::Entry>& read, std::string_view key)
{
    for (auto entry = read.rbegin(); entry != read.rend(); ++entry)
        if (entry->first == key)
            return entry->second.stringIfAny();
    return nullptr;
}

// The tree's node at the path a frame gives for the map about to be read: the "path" of the
// frame for its "value", the first of a pair in "writes" for the second. The tree is read at the
// first such map.
ExpectedMap nodesOf(const TreeReader& tree, std::optional<DatabaseValue>& read)
{
    return [&tree, &read](const std::vector<EnclosingMap>& enclosing) {
        const std::string* path = nullptr;
        if (enclosing.size() == 1 && enclosing[0].key == "value")
            path = stringAt(*enclosing[0].read, "path");
        else if (enclosing.size() == 3 && enclosing[0].key == "writes" && enclosing[2].key == "1")
            path = stringAt(*enclosing[2].read, "0");
        if (!path)
            return DatabaseValue();
        if (!read)
            read = tree();
        return read->at(DatabasePath::parse(*path));
    };
}

std::optional<DatabaseValue> readFrame(std::string_view text, std::string& error, const TreeReader& tree, std::size_t maxValues)
{
    if (text.size() > kMaxFrameBytes) {
        error = "the frame is larger than 16 MiB";
        return std::nullopt;
    }
    std::optional<DatabaseValue> treeRead;
    auto frame = decodeValue(text, tree ? nodesOf(tree, treeRead) : ExpectedMap(), maxValues);
    if (!frame) {
        error = maxValues ? "the frame is not JSON, nests too deep or holds too many values" : "the frame is not JSON, or nests too deep";
        return std::nullopt;
    }
    if (!frame->isMap() || !frame->child("op").isString()) {
        error = "the frame is not an object with an \"op\"";
        return std::nullopt;
    }
    return frame;
}

}  // namespace

std::optional<DatabaseValue> parseFrame(std::string_view text, std::string& error, const TreeReader& tree)
{
    return readFrame(text, error, tree, 0);
}

std::optional<DatabaseValue> parseFrame(std::string_view text, std::string& error, std::size_t maxValues)
{
    return readFrame(text, error, {}, maxValues);
}

std::optional<DatabaseValue> parseFrame(const QString& text, std::string& error, const TreeReader& tree)
{
    QStringEncoder toUtf8(QStringEncoder::Utf8);
    // Room for the longest encoding, left uninitialised: only the bytes written are ever touched.
    std::unique_ptr<char[]> utf8(new char[static_cast<std::size_t>(toUtf8.requiredSpace(text.size()))]);
    const char* end = toUtf8.appendToBuffer(utf8.get(), text);
    return parseFrame(std::string_view(utf8.get(), static_cast<std::size_t>(end - utf8.get())), error, tree);
}

FrameBuilder::FrameBuilder(std::string_view op)
{
    text_ = "{\"op\":";
    encodeValue(DatabaseValue(op), text_);
}

void FrameBuilder::key(std::string_view key)
{
    text_ += ',';
    encodeValue(DatabaseValue(key), text_);
    text_ += ':';
}

FrameBuilder& FrameBuilder::id(std::uint64_t id)
{
    key("id");
    text_ += std::to_string(id);
    return *this;
}

FrameBuilder& FrameBuilder::text(std::string_view name, std::string_view value)
{
    key(name);
    encodeValue(DatabaseValue(value), text_);
    return *this;
}

FrameBuilder& FrameBuilder::value(std::string_view name, const DatabaseValue& value)
{
    key(name);
    encodeValue(value, text_);
    return *this;
}

FrameBuilder& FrameBuilder::writes(std::string_view name, const std::vector<DatabaseWrite>& writes)
{
    key(name);
    encodeWrites(writes, text_);
    return *this;
}

std::string FrameBuilder::take()
{
    text_ += '}';
    return std::move(text_);
}

std::optional<std::vector<DatabaseWrite>> frameWrites(const DatabaseValue& frame, std::string_view key,
                                                      DatabaseResult* refusal)
{
    return writesFromValue(frame.child(key), refusal);
}

}  // namespace qv
