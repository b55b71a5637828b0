#pragma once
// Writes a zip archive in memory: each entry deflated with zlib, fixed 1980-01-01 timestamps so
// that equal contents give equal bytes. Enough for Office Open XML packages.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace qv {

class ZipWriter {
public:
    ZipWriter() = default;
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Adds an entry; the name is a relative path with forward slashes. False when the data
    // could not be compressed: the archive is then spoiled and finish() gives nothing.
    bool addFile(const QString& name, const QByteArray& data);
    // The finished archive: entries, central directory and end record; nothing when an entry
    // could not be added.
    std::optional<QByteArray> finish();

private:
    QByteArray archive_;
    QByteArray centralDirectory_;
    uint16_t entryCount_ = 0;
    bool failed_ = false;
};

}  // namespace qv
