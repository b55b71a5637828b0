#pragma once
// STAND-IN for document-model utilities that have not reached this branch yet: the trailing
// punctuation tests, the SubRip time text and the median. Replace every use by the model's own functions
// once they are merged, then delete this file.
#include <QString>
#include <cstdint>
#include <vector>

namespace qv::model_stand_in {

bool hasPausingOrStoppingPunctuation(const QString& word);
bool hasStoppingPunctuation(const QString& word);
QString timeAsHMSMsTextFromMilliseconds(int64_t ms);
int64_t median(std::vector<int64_t> values);

}  // namespace qv::model_stand_in
