// Errors of the media layer as values: a domain, a code and a description that names the file,
// plus the lower-level reason where there is one. Functions that can fail return a MediaResult
// (a value or an error) or an optional MediaError (nothing on success).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace qv {

inline constexpr const char* kMediaErrorDomain = "qv.media";

enum class MediaErrorCode {
    FileNotFound = 1,
    CannotOpen,      // exists but is not a readable media file (empty, truncated, not media)
    NoAudioTrack,
    NoVideoTrack,
    DecodeFailed,    // the track is there but its samples or frames cannot be decoded
    ReadFailed,      // reading stopped part-way through the file
    EncodeFailed,
    WriteFailed,
    Cancelled,
    InvalidArgument,
};

struct MediaError {
    std::string domain = kMediaErrorDomain;
    int code = 0;
    std::string description;    // a sentence for the user, naming the file
    std::string failureReason;  // what the decoder or the system said; may be empty

    MediaErrorCode mediaCode() const { return static_cast<MediaErrorCode>(code); }
    bool is(MediaErrorCode c) const { return domain == kMediaErrorDomain && code == static_cast<int>(c); }
};

MediaError makeMediaError(MediaErrorCode code, std::string description, std::string failureReason = {});

template <class T>
class MediaResult {
public:
    MediaResult(T value) : content_(std::move(value)) {}
    MediaResult(MediaError error) : content_(std::move(error)) {}

    bool ok() const { return content_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(content_); }
    const T& value() const { return std::get<0>(content_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const MediaError& error() const { return std::get<1>(content_); }

private:
    std::variant<T, MediaError> content_;
};

}  // namespace qv
