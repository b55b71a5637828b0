#include "Md5.h"

#include "Log.h"

#include <QByteArray>
#include <QFile>

#include <memory>

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

QString md5HexOfFile(const QString& path)
{
    // Bytes read at a time.
    constexpr qint64 kPieceBytes = 1 << 20;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) {
        logError("md5HexOfFile: the digest is not available");
        return {};
    }
    QByteArray piece(kPieceBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 read = file.read(piece.data(), kPieceBytes);
        if (read < 0)
            return {};
        if (read == 0)
            break;
        EVP_DigestUpdate(context.get(), piece.constData(), static_cast<std::size_t>(read));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return {};
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length)).toHex());
}

}  // namespace qv
