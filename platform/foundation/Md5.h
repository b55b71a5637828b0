// The MD5 digest of a block of bytes, as the object store reports it in its ETag.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace qv {

// 32 lower-case hexadecimal digits, first byte of the digest first. Blocks of any size are
// hashed whole.
QString md5Hex(QByteArrayView bytes);

}  // namespace qv
