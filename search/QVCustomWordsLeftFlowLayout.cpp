#include "search/QVCustomWordsLeftFlowLayout.h"

#include <algorithm>

namespace qv::search {

std::vector<QRect> QVCustomWordsLeftFlowLayout::flowFrames(const std::vector<QSize>& sizes, int width)
{
    std::vector<QRect> frames(sizes.size());
    const int available = std::max(0, width - kSectionInset.left() - kSectionInset.right());
    int y = kSectionInset.top();
    std::size_t first = 0;
    while (first < sizes.size()) {
        // The tiles of this line: at least one, then as many as fit with the minimum spacing.
        std::size_t last = first + 1;
        int used = sizes[first].width();
        while (last < sizes.size() && used + kMinimumInteritemSpacing + sizes[last].width() <= available) {
            used += kMinimumInteritemSpacing + sizes[last].width();
            ++last;
        }
        const std::size_t count = last - first;
        const int spacing = count > 1 ? kMinimumInteritemSpacing + (available - used) / int(count - 1) : 0;
        int x = kSectionInset.left();
        int lineHeight = 0;
        for (std::size_t i = first; i < last; ++i) {
            frames[i] = QRect(QPoint(x, y), sizes[i]);
            x += sizes[i].width() + spacing;
            lineHeight = std::max(lineHeight, sizes[i].height());
        }
        y += lineHeight + kMinimumLineSpacing;
        first = last;
    }
    return frames;
}

std::vector<QRect> QVCustomWordsLeftFlowLayout::layoutAttributesForElements(const std::vector<QRect>& frames)
{
    std::vector<QRect> moved = frames;
    if (moved.empty())
        return moved;
    int x = kSectionInset.left();
    int lineY = moved.front().y();
    for (QRect& frame : moved) {
        if (frame.y() != lineY) {
            x = kSectionInset.left();
            lineY = frame.y();
        }
        frame.moveLeft(x);
        x += frame.width() + kMinimumInteritemSpacing;
    }
    return moved;
}

int QVCustomWordsLeftFlowLayout::contentHeight(const std::vector<QRect>& frames)
{
    int bottom = kSectionInset.top();
    for (const QRect& frame : frames)
        bottom = std::max(bottom, frame.y() + frame.height());
    return bottom + kSectionInset.bottom();
}

}  // namespace qv::search
