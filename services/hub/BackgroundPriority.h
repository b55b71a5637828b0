// The service's background threads (request workers, transcription) run at a lower priority
// than the service's own thread: when the processors are busy, the thread that answers every
// database client goes first, and a burst of uploads or password hashing does not make each
// ping wait its turn behind them.
#pragma once

namespace qv::hub {

// Lowers the calling thread's priority, once per thread; threads it starts from then on inherit
// it. Later calls on the same thread do nothing.
void lowerThreadPriority();

}  // namespace qv::hub
