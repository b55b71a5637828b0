#pragma once
// Builds small export transcripts for tests: ranges of words with times.
#include "export/ExportTranscript.h"

#include <QStringList>

namespace qv::test {

class TranscriptBuilder {
public:
    // Starts a new speaker range at `start` ms.
    TranscriptBuilder& range(const QString& speaker, int64_t start = -1, const QString& color = QStringLiteral("blue")) {
        ExportRange r;
        r.speakerName = speaker;
        r.speakerColor = color;
        r.start = start >= 0 ? start : time_;
        transcript_.ranges.push_back(r);
        return *this;
    }
    // Adds words split at spaces, each `wordMs` long and `gapMs` after the previous one.
    TranscriptBuilder& words(const QString& text, int64_t wordMs = 300, int64_t gapMs = 0) {
        for (const auto& name : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) word(name, wordMs, gapMs);
        return *this;
    }
    TranscriptBuilder& word(const QString& name, int64_t wordMs = 300, int64_t gapMs = 0) {
        if (transcript_.ranges.empty()) range(QStringLiteral("Speaker"), 0);
        ExportWord w;
        w.name = name;
        w.start = time_ + gapMs;
        w.end = w.start + wordMs;
        time_ = w.end;
        transcript_.ranges.back().words.push_back(w);
        return *this;
    }
    TranscriptBuilder& pause(int64_t ms) {
        time_ += ms;
        return *this;
    }
    // Marks the last word added.
    TranscriptBuilder& paragraph() {
        transcript_.ranges.back().words.back().newParagraph = true;
        return *this;
    }
    TranscriptBuilder& favorite() {
        transcript_.ranges.back().words.back().favorite = true;
        return *this;
    }
    TranscriptBuilder& startWords(const QStringList& list) {
        transcript_.startWords = list;
        return *this;
    }
    ExportTranscript build() {
        ExportTranscript t = transcript_;
        if (t.duration == 0) t.duration = time_ + 5000;
        return t;
    }

private:
    ExportTranscript transcript_;
    int64_t time_ = 0;
};

}  // namespace qv::test
