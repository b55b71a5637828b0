// The pending list's reader of clips from a dropped library, put together from the library
// reader, the media inspection and the intake's audio layout and metadata readers.
#pragma once

#include "intake/QVFilesPendingViewController.h"

#include <QString>

#include <functional>

class AppDelegate;
namespace qv {
class Preferences;
}

// `ad` and `preferences` outlive the reader.
QVFilesPendingViewController::ClipReader makeLibraryClipReader(AppDelegate& ad, const qv::Preferences& preferences);

class QWidget;
class QMimeData;

// What a drop on `window` of a partner-editor library does: the library is read from the drag's
// data (its own type, or plain text), or from a dropped ".fcpxml" file. Drops of other things
// are left to the widgets under the pointer. `open` gets the drag's data; `openFile` a dropped
// file's path. The filter belongs to `window`.
void acceptLibraryDrops(QWidget& window, std::function<void(const QMimeData& data)> open,
                        std::function<void(const QString& path)> openFile);
