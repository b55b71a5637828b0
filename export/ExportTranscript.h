#pragma once
// The open transcript as the exports read it: speaker ranges in order, each with its words.
// Made once per export from the document model, so that the writers and the caption builder
// share one reading of "the words of a range".
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

class AppDelegate;

namespace qv {

struct ExportWord {
    QString name;  // text as shown, punctuation included
    int64_t start = 0;  // ms
    int64_t end = 0;    // ms
    bool newParagraph = false;
    bool favorite = false;
};

struct ExportRange {
    QString speakerName;
    QString speakerColor;  // palette colour name
    int64_t start = 0;     // ms; the range runs to the next range's start
    std::vector<ExportWord> words;
};

struct ExportTranscript {
    std::vector<ExportRange> ranges;
    QStringList startWords;  // lower-case start words of the file's language
    int64_t duration = 0;    // ms, of the file's media
};

// For each word start, the index of the speaker range holding it (-1 for none): the range whose
// start is at most the word's start and whose end (the next range's start, or the largest 64-bit
// value for the last range) lies after it.
std::vector<int64_t> rangeIndexesOfWords(const std::vector<int64_t>& rangeStarts,
                                         const std::vector<int64_t>& wordStarts);

// The open transcript of the application's state: its speaker ranges in order with the words
// each holds, the start words of the file's language and the file's duration.
ExportTranscript exportTranscriptFromModel(const AppDelegate& ad);

}  // namespace qv
