// The check box of a media file or channel in the audio configuration panel. Its tag carries
// the channel's flat index (channels counted over all tracks of the media file), or the media
// file's index for a file box.
#pragma once

#include <QCheckBox>

class QVCheckBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    // Whether the box may show the mixed state; a box that may not falls back to off.
    bool allowsMixedState() const { return isTristate(); }
    void setAllowsMixedState(bool allows) { setTristate(allows); }
    // -1 mixed, 0 off, 1 on.
    int state() const;
    void setState(int state);

protected:
    // A click goes between on and off only, as the mixed state is the channels' to show.
    void nextCheckState() override;

private:
    int tag_ = 0;
};
