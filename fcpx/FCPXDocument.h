// The fcpxml 1.6 document of one media file and its transcript: the format and the asset, one
// asset clip carrying the keyword ranges and favourite ratings, and a keyword collection per
// speaker. Written byte for byte the same for the same content.
#pragma once

#include "fcpx/QVExportFCPXRange.h"
#include "platform/media/MediaTime.h"

#include <QString>
#include <QStringList>

#include <vector>

// The event that holds the clip.
inline const QString kFCPXEventName = QStringLiteral("Quorvantelle");

struct FCPXDocumentContent {
    QString formatName;
    // Also the clip's name.
    QString assetName;
    // The media's file URL.
    QString assetSrc;
    qv::MediaTime assetDuration = qv::MediaTime::zero();
    qv::MediaTime assetStart = qv::MediaTime::zero();
    std::vector<QVExportFCPXRange> keywordRanges;
    std::vector<QVExportFCPXRange> favoriteRanges;
    // Written in this order.
    QStringList keywordCollection;
};

// UTF-8 text: declaration (standalone "no"), the document type fcpxml, then the tree indented
// by four spaces a level, empty elements in their compact form, one line break at the end.
QString fcpxmlDocument(const FCPXDocumentContent& content);
