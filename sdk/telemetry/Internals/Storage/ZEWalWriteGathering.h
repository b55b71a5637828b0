// A file layer under SQLite for the log store. SQLite writes each page of a commit to the
// write-ahead log in two calls (the frame's header, then the page); a log of a few kilobytes made
// some sixteen write calls per insert, and the calls, not the bytes, were most of its cost. This
// layer gathers a commit's writes to the log and hands them to the system in one call as soon as
// the commit's last frame is complete: before SQLite makes the commit visible to any other
// connection and before the insert returns, so a process killed afterwards loses nothing.
// Every other file, and every other use of the log file, goes straight to SQLite's own layer.
#pragma once

namespace ze {

// The layer's name for sqlite3_open_v2, registered on first use; null when it could not be
// registered, and SQLite's own layer then serves.
const char* ZEWalWriteGatheringName();

} // namespace ze
