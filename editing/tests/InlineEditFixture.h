// An open transcript with the row of its first speaker range shown in a real text view, wired to
// the editing subsystem as the transcript view wires it, for inline edits driven headless or by
// key events.
#pragma once

#include "EditingFixture.h"

#include "model/QVSpeakerRange.h"
#include "transcript-view/QVTextView.h"
#include "transcript-view/TranscriptRowText.h"

class InlineEditFixture : public EditingFixture {
protected:
    InlineEditFixture()
    {
        editing.setCurrentTextViewModel([this] { return &textView.model(); });
    }

    // Lays out the first range's row and makes its view the current text view.
    void showRow()
    {
        const auto row = qv::transcript::buildRowText(ad, ad.speakerRanges.first(), INT64_MAX);
        textView.model().setString(row ? row->string : QString());
        textView.invalidateLayout();
        ad.speakerRanges.first()->textView = &textView;
        ad.currentTextView = &textView;
        ad.currentSpeakerRangeIndex = 0;
    }
    // Selects the words from `first` to `last` and makes `first` the current word.
    void select(const QString& first, const QString& last)
    {
        ad.selectionWordStart = w(first);
        ad.selectionWordEnd = w(last);
        ad.currentWord = w(first);
    }
    void start(const QString& first, const QString& last, std::int64_t mode = 0, const QString& character = {})
    {
        showRow();
        select(first, last);
        editing.session.editWordsStartWithMode(mode, character);
    }
    qsizetype lower() const { return textView.lowerCharacterLock(); }
    QStringList pendingTexts() const
    {
        QStringList texts;
        for (const auto& word : ad.wordsEditing)
            texts << word->namePending;
        return texts;
    }
    // Each working word's range holds exactly its pending text in the row.
    void expectRangesMatchText() const
    {
        const QString& row = textView.model().string();
        for (const auto& word : ad.wordsEditing) {
            EXPECT_EQ(row.mid(word->characterStart, word->characterEnd - word->characterStart + 1), word->namePending)
                << word->namePending.toStdString();
        }
    }

    QVTextView textView{ad, main};
};
