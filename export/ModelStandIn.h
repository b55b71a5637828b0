#pragma once
// STAND-IN for document-model utilities that have not reached this branch yet: the trailing
// punctuation tests, the SubRip time text, the median and the speaker palette lookup. Replace every use by the model's own functions
// once they are merged, then delete this file.
#include <QColor>
#include <QString>
#include <cstdint>
#include <vector>

class AppDelegate;

namespace qv::model_stand_in {

bool hasPausingOrStoppingPunctuation(const QString& word);
bool hasStoppingPunctuation(const QString& word);
QString timeAsHMSMsTextFromMilliseconds(int64_t ms);
int64_t median(std::vector<int64_t> values);
// The palette colour of that name; the unknown-speaker grey for "gray" or a name not in it.
QColor colorForColorName(const AppDelegate& ad, const QString& colorName);

}  // namespace qv::model_stand_in
