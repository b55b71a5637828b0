// The upload progress bars move to each new value over 0.15 s rather than jump. One such
// movement runs in the whole program at a time: a new one first finishes the one under way, so
// that its bar shows the value it was heading for. Main thread only.
#pragma once

class QProgressBar;

// Moves `bar` from its value now to `value` (0 to 1 of its range), linearly over 0.15 s.
void animateToDoubleValue(QProgressBar* bar, double value);
