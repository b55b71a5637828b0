// A button that looks and behaves like a link: its title in the link colour, and the pointing
// hand over it (the arrow again once the mouse leaves).
#pragma once

#include <QPushButton>

class QVHyperlinkButton : public QPushButton {
public:
    explicit QVHyperlinkButton(const QString& title, QWidget* parent = nullptr);
};
