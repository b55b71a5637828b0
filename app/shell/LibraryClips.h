// The pending list's reader of clips from a dropped library, put together from the library
// reader, the media inspection and the intake's audio layout and metadata readers.
#pragma once

#include "intake/QVFilesPendingViewController.h"

class AppDelegate;
namespace qv {
class Preferences;
}

// `ad` and `preferences` outlive the reader.
QVFilesPendingViewController::ClipReader makeLibraryClipReader(AppDelegate& ad, const qv::Preferences& preferences);
