// Where the custom word tiles stand: lines broken as a flow layout breaks them, with each line's
// tiles spread over its width, then moved to the left so that every line starts at the left
// inset and its tiles follow one another at the minimum spacing.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <vector>

namespace qv::search {

class QVCustomWordsLeftFlowLayout {
public:
    static constexpr int kMinimumInteritemSpacing = 5;
    static constexpr int kMinimumLineSpacing = 5;
    static constexpr QMargins kSectionInset{8, 8, 8, 8};

    // The plain flow layout: lines filled up to `width`, their tiles spread evenly over it
    // (a tile alone on its line stays at the left inset).
    static std::vector<QRect> flowFrames(const std::vector<QSize>& sizes, int width);
    // The same frames moved left: a new line wherever the top changes, x from the left inset.
    static std::vector<QRect> layoutAttributesForElements(const std::vector<QRect>& frames);
    // The height the frames need, insets included.
    static int contentHeight(const std::vector<QRect>& frames);
};

}  // namespace qv::search
