#include "export/QVCaptionPage.h"

namespace qv {

int64_t countSpacePieces(const QString& text) {
    return text.count(QLatin1Char(' ')) + 1;
}

int64_t QVCaptionPage::wordCount() const {
    return countSpacePieces(line1) + countSpacePieces(line2);
}

}  // namespace qv
