#pragma once
// STAND-IN for the document model's palette lookup (`colorForColorName`), which has not reached
// this branch yet. Replace its use by the model's own function once merged, then delete this
// file.
#include <QColor>
#include <QString>

class AppDelegate;

namespace qv::model_stand_in {

// The palette colour of that name; the unknown-speaker grey for "gray" or a name not in it.
QColor colorForColorName(const AppDelegate& ad, const QString& colorName);

}  // namespace qv::model_stand_in
