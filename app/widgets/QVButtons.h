// Buttons of the dark look. QVPopUpButton: a pop-up without bezel or arrow whose title is
// drawn in white. QVDarkButton: its title in light grey while enabled. QVTextButton: a
// two-state text button, grey when off and white when on.
#pragma once

#include <QComboBox>
#include <QPushButton>

class QVPopUpButton : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class QVDarkButton : public QPushButton {
public:
    explicit QVDarkButton(const QString& title, QWidget* parent = nullptr);
    // The colour the title is drawn in now.
    QColor titleColor() const;
};

class QVTextButton : public QPushButton {
public:
    explicit QVTextButton(const QString& title, QWidget* parent = nullptr);
    QColor titleColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
