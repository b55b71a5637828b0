// One row of the pending list: the thumbnail, the editable name, duration and kind, the
// speaker-identification and language pop-ups, the waveform-analysis spinner, the audio error
// mark, and while the file is processed its status and progress bar. Main thread only.
#pragma once

#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QVFilePending;

class QVTableCellViewFilePending : public QWidget {
public:
    // Row height, in points.
    static constexpr int kRowHeight = 64;

    explicit QVTableCellViewFilePending(QWidget* parent = nullptr);

    std::shared_ptr<QVFilePending> filePending;

    QLabel* imageView() const { return imageView_; }
    QLineEdit* textField() const { return textField_; }
    QLabel* durationDisplay() const { return durationDisplay_; }
    QLabel* detailsDisplay() const { return detailsDisplay_; }
    QLabel* timeAndProcessingStatus() const { return timeAndProcessingStatus_; }
    QLabel* audioErrorDisplay() const { return audioErrorDisplay_; }
    QComboBox* diarizationPopup() const { return diarizationPopup_; }
    QComboBox* languagePopup() const { return languagePopup_; }
    QProgressBar* makingWaveformIndicator() const { return makingWaveformIndicator_; }
    QProgressBar* processingProgressBar() const { return processingProgressBar_; }

    // Processing look: the status and progress bar in place of the duration and pop-ups.
    void showProcessing(const QString& status, double progress);
    // Moves the bar to `progress` over 0.15 s.
    void setProgress(double progress);
    // Selected (1) or normal (2) look of the texts.
    void updateTextFieldAppearance(int style);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* imageView_;
    QLineEdit* textField_;
    QLabel* durationDisplay_;
    QLabel* detailsDisplay_;
    QLabel* timeAndProcessingStatus_;
    QLabel* audioErrorDisplay_;
    QComboBox* diarizationPopup_;
    QComboBox* languagePopup_;
    QProgressBar* makingWaveformIndicator_;
    QProgressBar* processingProgressBar_;
};
