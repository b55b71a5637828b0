#pragma once
// Files written and read by tests.
#include <QByteArray>
#include <QFile>
#include <QString>

namespace qv::test {

// Writes `bytes` to `path`; returns whether all were written.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace qv::test
