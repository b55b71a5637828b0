// The plain views that give the application its dark look: flat fills in four shades, the
// lined panel background, and the background that shows stripes while the open file may only
// be viewed.
#pragma once

#include <QWidget>

class AppDelegate;

// Grey 77 with a one-pixel line of white level 0.4 along its top and bottom edges.
class QVDarkBackground : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Grey 60, opaque.
class QVDarkMidBackground : public QWidget {
public:
    explicit QVDarkMidBackground(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Grey 46.
class QVDarkerBackground : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// White level 0.13.
class QVDarkestBackground : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Diagonal stripes while the application is in the view-only state, otherwise nothing (the
// views behind show through).
class QVDualBackground : public QWidget {
public:
    // `ad` must outlive the view.
    explicit QVDualBackground(const AppDelegate& ad, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const AppDelegate& ad_;
};
