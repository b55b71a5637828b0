#include "Uuid.h"

#include "Random.h"

#include <QByteArray>

namespace qv {

QString createUUID()
{
    unsigned char bytes[16];
    randomBytes(bytes, sizeof bytes);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toHex().toUpper());
}

}  // namespace qv
