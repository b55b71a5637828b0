// A widget that shows the picture of a player at the player's time, fitted inside it with its
// aspect ratio kept, on black. It repaints whenever the player's time moves or jumps.
#pragma once

#include "Player.h"

#include <QWidget>

namespace qv {

class VideoView : public QWidget {
public:
    // How often the picture is brought up to the player's time. Defaults to 1/50 s.
    static constexpr double kRefreshSeconds = 1.0 / 50;

    explicit VideoView(QWidget* parent = nullptr);
    ~VideoView() override;

    // The player shown; none shows black. The player must outlive the view or be replaced first.
    void setPlayer(Player* player);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Player* player_ = nullptr;
    Player::ObserverToken observer_ = 0;
};

}  // namespace qv
