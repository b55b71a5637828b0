#include "transcript-view/TranscriptViewController.h"

namespace qv::transcript {

TranscriptViewController::TranscriptViewController(TranscriptTable& table, WordHighlighter& highlighter,
                                                   TranscriptTransport& transport, StepNavigation& navigation,
                                                   TranscriptPlayer& player)
    : table_(table), highlighter_(highlighter), transport_(transport), navigation_(navigation), player_(player)
{
    highlighter_.setNavigationRefresh([this] { navigation_.refreshNavigationControls(); });
    highlighter_.setLocate([this](std::int64_t milliseconds, bool shouldPlay) {
        transport_.locateMediaFileToMilliseconds(milliseconds, shouldPlay, true, {});
    });
}

}  // namespace qv::transcript
