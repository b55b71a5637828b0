#include "export/ZipWriter.h"

#include <zlib.h>

namespace qv {
namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr uint16_t kVersion = 20;        // 2.0: deflate
constexpr uint16_t kMethodDeflate = 8;
constexpr uint16_t kFlagUtf8Names = 0x0800;
constexpr uint16_t kDosDate19800101 = (0 << 9) | (1 << 5) | 1;

void put16(QByteArray& out, uint16_t v) {
    out.append(char(v & 0xff));
    out.append(char(v >> 8));
}

void put32(QByteArray& out, uint32_t v) {
    put16(out, uint16_t(v & 0xffff));
    put16(out, uint16_t(v >> 16));
}

// The data deflated without a zlib header; nothing when zlib could not compress it.
std::optional<QByteArray> rawDeflate(const QByteArray& data) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return std::nullopt;
    }
    QByteArray out(qsizetype(deflateBound(&stream, uLong(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    // The bound lets one call finish; anything else is a failure, not a short entry.
    const int result = deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    if (result != Z_STREAM_END) return std::nullopt;
    return out;
}

}  // namespace

bool ZipWriter::addFile(const QString& name, const QByteArray& data) {
    const QByteArray fileName = name.toUtf8();
    const std::optional<QByteArray> deflated = rawDeflate(data);
    if (!deflated) {
        failed_ = true;
        return false;
    }
    const QByteArray& compressed = *deflated;
    const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data.constData()),
                                        uInt(data.size())));
    const uint32_t offset = uint32_t(archive_.size());

    const auto putCommon = [&](QByteArray& out) {
        put16(out, kVersion);
        put16(out, kFlagUtf8Names);
        put16(out, kMethodDeflate);
        put16(out, 0);  // time 00:00:00
        put16(out, kDosDate19800101);
        put32(out, crc);
        put32(out, uint32_t(compressed.size()));
        put32(out, uint32_t(data.size()));
        put16(out, uint16_t(fileName.size()));
        put16(out, 0);  // no extra field
    };

    put32(archive_, kLocalHeaderSignature);
    putCommon(archive_);
    archive_.append(fileName);
    archive_.append(compressed);

    put32(centralDirectory_, kCentralHeaderSignature);
    put16(centralDirectory_, kVersion);  // made by
    putCommon(centralDirectory_);
    put16(centralDirectory_, 0);  // comment length
    put16(centralDirectory_, 0);  // disk number
    put16(centralDirectory_, 0);  // internal attributes
    put32(centralDirectory_, 0);  // external attributes
    put32(centralDirectory_, offset);
    centralDirectory_.append(fileName);
    ++entryCount_;
    return true;
}

std::optional<QByteArray> ZipWriter::finish() {
    if (failed_) return std::nullopt;
    QByteArray out = archive_;
    const uint32_t directoryOffset = uint32_t(out.size());
    out.append(centralDirectory_);
    put32(out, kEndRecordSignature);
    put16(out, 0);  // this disk
    put16(out, 0);  // disk with the directory
    put16(out, entryCount_);
    put16(out, entryCount_);
    put32(out, uint32_t(centralDirectory_.size()));
    put32(out, directoryOffset);
    put16(out, 0);  // comment length
    return out;
}

}  // namespace qv
