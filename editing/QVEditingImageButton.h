// An image button of the editing-controls panel (Edit, Join, Delete Punctuation, Delete Word,
// Paragraph Break): a small drawn symbol on the panel's button face. The panel dims it by its
// opacity rather than greying the symbol. Main thread only.
#pragma once

#include <QAbstractButton>

class QVEditingImageButton : public QAbstractButton {
public:
    enum class Image { Edit, Join, DeletePunctuation, DeleteWord, ParagraphBreak };

    QVEditingImageButton(Image image, QWidget* parent = nullptr);

    Image image() const { return image_; }
    // Opacity of the whole button, 0 to 1. Defaults to 1.
    double alpha() const { return alpha_; }
    void setAlpha(double alpha);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintSymbol(QPainter& painter) const;

    Image image_;
    double alpha_ = 1.0;
};
