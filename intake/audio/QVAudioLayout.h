// Audio layout types ("F1T1C2T2C1": media files, tracks and their channel counts; equal texts,
// equal structure), the tests of whether a file is audio by its extension, and media files'
// modification dates.
#pragma once

#include "model/QVMediaFile.h"

#include "platform/media/Asset.h"
#include "platform/ui/Alert.h"

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

QString createAudioLayoutTypeFromAsset(const qv::Asset& asset);
QString createAudioLayoutTypeFromMediaFile(const QVMediaFile& mediaFile);
QString createAudioLayoutTypeFromMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles);

bool fileExtensionIsAudio(const QString& extension);
// A file without an extension is refused with an alert (when `alerts` is given).
bool fileURLIsAudio(const QUrl& url, qv::AlertPresenter* alerts);

// The file's modification date; nothing on any error.
std::optional<QDateTime> getModificationDateForURL(const QUrl& url);
std::optional<QDateTime> getModificationDateForMediaFile(QVMediaFile& mediaFile);
