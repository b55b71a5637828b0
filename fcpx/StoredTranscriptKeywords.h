// Keyword ranges of a transcript that is not open: read from the database in one piece and cut
// as the open transcript's are. Deleted words, speakers and ranges take no part, a range
// without a live speaker says nothing, and a speaker without a name is "Unknown".
#pragma once

#include "fcpx/KeywordRanges.h"
#include "platform/media/MediaTime.h"
#include "platform/rtdb/DataSnapshot.h"
#include "platform/rtdb/DatabaseReference.h"

#include <functional>
#include <optional>

namespace qv {
class Preferences;
}

// The ranges of a transcript node as stored (transcripts/<uuid>).
KeywordRanges keywordRangesOfStoredTranscript(const qv::DataSnapshot& transcript, const qv::MediaTime& origin,
                                              const QString& keywordType);

// Reads `transcript` (transcripts/<uuid>) once; the completion runs exactly once, on the main
// queue, with the ranges, or with nothing when there is no transcript. The keyword type is
// read from the preferences when the transcript has been found.
void readStoredTranscriptKeywords(const qv::DatabaseReference& transcript, const qv::MediaTime& timecodeStart,
                                  const qv::Preferences& preferences,
                                  std::function<void(std::optional<KeywordRanges>)> completion);
