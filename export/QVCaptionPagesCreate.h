#pragma once
// Turns the open transcript into caption pages of at most two lines of a given length, timed
// for reading. One builder serves one export: make it, call createCaptionPagesWithOptions once.
#include "export/ExportTranscript.h"
#include "export/QVCaptionFragment.h"
#include "export/QVCaptionPage.h"

#include <QSet>
#include <optional>
#include <vector>

namespace qv {

// An empty mode is unset: any page mode but "auto" lays out single-line sentences, any speaker
// mode but "none" and "name" gives the ">> NAME: " label.
struct CaptionPageOptions {
    QString pageMode;     // "auto" or "singleLineSentences"
    QString speakerMode;  // "none", "name" or "arrowsName"
};

// What every caption writer asks for.
inline constexpr int64_t kCaptionMaxCharsPerLine = 32;
inline constexpr int64_t kCaptionMaxLinesPerPage = 2;

class QVCaptionPagesCreate {
public:
    // The transcript is read, not copied: it must outlive the builder.
    explicit QVCaptionPagesCreate(const ExportTranscript& transcript);
    QVCaptionPagesCreate(ExportTranscript&&) = delete;
    QVCaptionPagesCreate(const QVCaptionPagesCreate&) = delete;
    QVCaptionPagesCreate& operator=(const QVCaptionPagesCreate&) = delete;

    // maxCharsPerLine below 1 counts as 1.
    std::vector<QVCaptionPage> createCaptionPagesWithOptions(const CaptionPageOptions& options,
                                                             int64_t maxCharsPerLine,
                                                             int64_t maxLinesPerPage);

    bool stringIsStartWord(const QString& text) const;

private:
    // The page state when a fragment began, restored when the fragment is laid out again in
    // fill mode so that the text placed before it stays where it was.
    struct FragmentStart {
        size_t pageCount = 0;
        QVCaptionPage page;
        bool onLine2 = false;
        std::optional<QString> label;
    };

    std::vector<QVCaptionFragment> fragmentsOfRange(const ExportRange& range) const;
    std::vector<QVCaptionFragment> sentenceFragmentsOfRange(const ExportRange& range) const;
    std::optional<QString> speakerLabel(const QString& speakerName) const;
    void layoutFragment(QVCaptionFragment& fragment, int64_t fromIndex, std::optional<QString> label);
    int64_t addWordsFromFragment(QVCaptionFragment& fragment, int64_t fromIndex, int64_t toIndex,
                                 const std::optional<QString>& label, int64_t targetCharsPerLine);
    void layoutSentence(const QVCaptionFragment& fragment, const std::optional<QString>& label);
    void saveCaptionPage();
    void balanceLines();
    void resetCaptionPageAndCurrentLine();
    void switchToLine2();
    QString& currentCaptionLine();

    const ExportTranscript& transcript_;
    std::vector<QVCaptionPage> captionPages_;
    QVCaptionPage currentCaptionPage_;
    bool currentLineIsLine2_ = false;
    std::optional<FragmentStart> captionPageFragmentStart_;
    int64_t maxCharsPerLine_ = kCaptionMaxCharsPerLine;
    QString optionPageMode_;
    QString optionSpeakerMode_;
    QSet<QString> startWords_;  // case-folded
};

}  // namespace qv
