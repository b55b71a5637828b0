// What the upload of a converted file is checked against and what it leaves in the database:
// the object store's "Etag" compared with the file's MD5, the object's public address, and the
// new file record `files/<uuid>`. Pure functions.
#pragma once

#include "platform/rtdb/DatabaseValue.h"

#include <QString>
#include <QUrl>

class QVFilePending;

// The file's status once its audio is in the store and its record written: waiting for the
// transcription service.
inline constexpr std::int64_t kFileStatusSubmitted = 10;

// True when `etag` is at least 33 characters and characters 1 to 32 (after the opening quote)
// are exactly `md5Hex`, the lower-case hexadecimal digest of the uploaded bytes.
bool etagVerifies(const QString& etag, const QString& md5Hex);

// The address the object keeps once uploaded: the signed address without its signature.
QString remotePathFromSignedRequest(const QUrl& signedRequest);

// The record's values: created, diarisation, duration, file_type, language, media_files, name,
// owner, status, updated, url; the editor's clip and event names and uid only when set; the
// start timecode only when the media has one.
qv::DatabaseUpdate newFileRecord(const QVFilePending& file, const QString& ownerUid);
