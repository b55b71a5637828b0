// The MD5 digest of a block of bytes, as the object store reports it in its ETag.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace qv {

// 32 lower-case hexadecimal digits, first byte of the digest first. Blocks of any size are
// hashed whole.
QString md5Hex(QByteArrayView bytes);
// The same digest of a file's contents, read a piece at a time so that a file of any length
// takes little memory; empty when the file cannot be read.
QString md5HexOfFile(const QString& path);

}  // namespace qv
