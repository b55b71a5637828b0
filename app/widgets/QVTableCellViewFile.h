// One row of the files list: thumbnail, editable name, duration, file type, a status pop-up (or
// the processing indicator), a restore button for deleted files and the indicator spun while
// the file opens. The files list fills it; the row keeps its text colours in step with its
// selection state and forbids the pointer over files still being processed.
#pragma once

#include <QImage>
#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QVFile;

// The row's name field. It reports the end of an edit once, with how it ended: Return,
// Escape (the text goes back to what it was) or the focus moving elsewhere.
class QVFileNameField : public QLineEdit {
public:
    enum TextMovement { kOther = 0, kReturn = 16, kCancel = 23 };

    explicit QVFileNameField(QWidget* parent = nullptr);

    // Called when an edit ends; not called for a field that was not being edited.
    std::function<void(TextMovement movement)> onEndEditing;

    bool isEditing() const { return editing_; }
    // Starts an edit from the text shown now (a click or the focus does it too).
    void beginEditing();
    // Ends an edit in progress as `movement` says.
    void endEditing(TextMovement movement);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool editing_ = false;
    QString original_;
};

class QVTableCellViewFile : public QWidget {
public:
    // How the texts look: a file still processing, the selected row, other transcribed rows.
    enum TextAppearance { kAppearanceProcessing = 0, kAppearanceSelected = 1, kAppearanceNormal = 2 };

    explicit QVTableCellViewFile(QWidget* parent = nullptr);

    std::shared_ptr<QVFile> file() const { return file_; }
    void setFile(std::shared_ptr<QVFile> file) { file_ = std::move(file); }

    // Selected with emphasis or not: the texts take appearance 1, else 2 for a transcribed file,
    // else 0.
    void setBackgroundStyle(bool emphasized);
    bool isEmphasized() const { return emphasized_; }
    // Applies one of the three appearances; any other value changes nothing.
    void updateTextFieldAppearance(int type);
    int textAppearance() const { return textAppearance_; }

    // Stops the opening indicator and empties the status pop-up before the row shows another
    // file.
    void prepareForReuse();

    // Width over height of a thumbnail as the row shows it: 16:9 for a picture without height or
    // wider than 1.76777778.
    static double aspectRatioForThumbnail(const QImage& image);
    // The thumbnail at `aspectRatio` (width / height), or the placeholder with the ratio kept.
    void setThumbnail(const QImage& image, double aspectRatio);
    void setPlaceholderThumbnail();
    std::optional<double> thumbnailAspectRatio() const { return aspectRatio_; }
    // Shows the name; its tool tip repeats it when it does not fit.
    void setName(const QString& name);
    // The pointer over the whole row: the forbidden sign over processing files, else the
    // default.
    void setForbiddenCursor(bool forbidden);
    bool hasForbiddenCursor() const { return forbiddenCursor_; }

    QVFileNameField* textField() const { return textField_; }
    QLabel* imageView() const { return imageView_; }
    QLabel* durationDisplay() const { return durationDisplay_; }
    QLabel* detailsDisplay() const { return detailsDisplay_; }
    QComboBox* fileStatusPopup() const { return fileStatusPopup_; }
    QProgressBar* progressIndicator() const { return progressIndicator_; }
    QProgressBar* progressIndicatorProcessing() const { return progressIndicatorProcessing_; }
    QPushButton* restoreButton() const { return restoreButton_; }
    // Opacity of the thumbnail, 0 to 1.
    double thumbnailAlpha() const { return thumbnailAlpha_; }
    void setThumbnailAlpha(double alpha);

    // Mouse on the row (outside its controls): one click, a double click.
    std::function<void(QVTableCellViewFile*)> onClicked;
    std::function<void(QVTableCellViewFile*)> onDoubleClicked;

protected:
    // A click on the name of a row that is not selected selects the row rather than starting
    // a rename; clicks on the thumbnail and texts count as clicks on the row.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void updateNameToolTip();
    void showThumbnail();

    std::shared_ptr<QVFile> file_;
    QLabel* imageView_;
    QVFileNameField* textField_;
    QLabel* durationDisplay_;
    QLabel* detailsDisplay_;
    QComboBox* fileStatusPopup_;
    QProgressBar* progressIndicator_;
    QProgressBar* progressIndicatorProcessing_;
    QPushButton* restoreButton_;
    QImage thumbnail_;
    std::optional<double> aspectRatio_;
    double thumbnailAlpha_ = 1.0;
    int textAppearance_ = kAppearanceNormal;
    bool emphasized_ = false;
    bool forbiddenCursor_ = false;
};
