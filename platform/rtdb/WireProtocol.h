// Frames of the database protocol between the service and its clients (services/hub/PROTOCOL.md):
// one JSON object per WebSocket text message, with an "op" naming what it is. Values inside keep
// integers, doubles and booleans apart as the stored form does.
#pragma once

#include "platform/rtdb/DatabaseError.h"
#include "platform/rtdb/DatabaseValue.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Largest frame either side accepts, in bytes. 16 MiB.
inline constexpr std::size_t kMaxFrameBytes = 16u << 20;

// The database's tree as it stands, for a service in the same process as its client.
using TreeReader = std::function<DatabaseValue()>;

// The frame as a map (its "op" a string), or nothing with `error` saying why: too large, not
// JSON, not an object, nested too deep, or without an "op". Given the tree of the service that
// sent it, a map the frame carries at a path (the "value" of a "value" frame, the value of a
// pair in "writes") that equals the tree's node there is read as that very node, without a copy
// of it ever being built; the tree is read once, and only for a frame carrying such a map.
std::optional<DatabaseValue> parseFrame(std::string_view text, std::string& error, const TreeReader& tree = {});
// The same for a frame a client sent the service, which reads it as nothing when it holds more
// than `maxValues` values (each map, list and leaf counted, the frame's own fields too), before
// building them.
std::optional<DatabaseValue> parseFrame(std::string_view text, std::string& error, std::size_t maxValues);
// The same for a frame as a WebSocket hands it over. A transcript's frame is megabytes: it is
// turned into UTF-8 once, without the intermediate copies of QString::toStdString.
std::optional<DatabaseValue> parseFrame(const QString& text, std::string& error, const TreeReader& tree = {});

// Builds one frame: {"op":...,"id":...,<fields>}.
class FrameBuilder {
public:
    explicit FrameBuilder(std::string_view op);
    FrameBuilder& id(std::uint64_t id);
    FrameBuilder& text(std::string_view key, std::string_view value);
    FrameBuilder& value(std::string_view key, const DatabaseValue& value);
    // A list of [path, value] pairs.
    FrameBuilder& writes(std::string_view key, const std::vector<DatabaseWrite>& writes);
    std::string take();

private:
    void key(std::string_view key);
    std::string text_;
};

// The frame's field `key` as a list of writes (absent reads as none); nothing when it is not a
// list of [path, value] pairs or holds a write the database refuses (then, given `refusal`, the
// error that write would meet).
std::optional<std::vector<DatabaseWrite>> frameWrites(const DatabaseValue& frame, std::string_view key,
                                                      DatabaseResult* refusal = nullptr);

}  // namespace qv
