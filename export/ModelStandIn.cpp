#include "export/ModelStandIn.h"

#include "app/AppDelegate.h"

namespace qv::model_stand_in {

QColor colorForColorName(const AppDelegate& ad, const QString& colorName) {
    return ad.speakerColorPalette.value(colorName, ad.speakerColorUnknown);
}

}  // namespace qv::model_stand_in
