#pragma once
// A long transcript for the export benchmarks: speech-like words of short clauses and sentences,
// names, paragraphs, pauses and a speaker change every 150 words.
#include "export/ExportTranscript.h"

namespace qv::bench {

inline qv::ExportTranscript longTranscript(int wordCount = 30000) {
    static const char* const vocabulary[] = {"we", "went", "down", "to", "the", "river", "and", "New", "York",
                                             "Mary", "said", "that", "it", "was", "really", "quite", "extraordinary",
                                             "a", "good", "day", "for", "everyone", "there", "so"};
    qv::ExportTranscript transcript;
    transcript.startWords = {"the", "a", "and", "to", "for", "that"};
    int64_t time = 0;
    for (int w = 0; w < wordCount; ++w) {
        if (w % 150 == 0) {
            qv::ExportRange range;
            range.speakerName = w % 300 ? "Guest" : "Host";
            range.start = time;
            transcript.ranges.push_back(range);
        }
        qv::ExportWord word;
        word.name = vocabulary[(w * 7) % 24];
        if (w % 11 == 10) word.name += ".";
        else if (w % 5 == 4) word.name += ",";
        word.start = time + (w % 97 == 0 ? 2500 : 60);
        word.end = word.start + 180 + (w % 7) * 40;
        word.newParagraph = w % 400 == 399;
        time = word.end;
        transcript.ranges.back().words.push_back(word);
    }
    transcript.duration = time + 1000;
    return transcript;
}

}  // namespace qv::bench
