// The start timecode that field recorders write into an audio file's metadata: the time
// reference of a broadcast-wave "bext" chunk, the iXML chunk's time reference and rate, or the
// album and artist tags of an MP3. Also the channel names of a WAV file's iXML track list.
// Only chunk headers, the time reference, the XML text and the tags are read, never the audio.
#pragma once

#include "model/QVTimecodeFields.h"

#include <QStringList>
#include <QUrl>

#include <optional>

class QVFile;
class QVFilePending;

// Reads the timecode of the first media file of `pending`, or else of `file`, into that
// record's timecode fields. False (nothing stored) when there is none to read: no media file,
// an extension other than "wav" or "mp3", an unreadable file or no usable metadata. An MP3 whose
// album and artist tags exist answers true even when they hold no timecode.
bool getBWFMP3TimecodeForFilePending(QVFilePending* pending, QVFile* file);

// The same for the media at `url` into `fields`.
bool readMetadataTimecode(const QUrl& url, QVTimecodeFields& fields);

// The names of a WAV file's iXML tracks in interleave order ("" for a track without one);
// nothing when the file is not a readable WAV with an iXML track list.
std::optional<QStringList> getiXMLTrackNamesFromURL(const QUrl& url);
