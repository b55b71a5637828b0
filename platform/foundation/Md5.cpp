#include "Md5.h"

#include "Log.h"

#include <QByteArray>

#include <openssl/evp.h>

namespace qv {

QString md5Hex(QByteArrayView bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), static_cast<std::size_t>(bytes.size()), digest, &length,
                   EVP_md5(), nullptr)
        != 1) {
        logError("md5Hex: the digest is not available");
        return {};
    }
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex());
}

}  // namespace qv
