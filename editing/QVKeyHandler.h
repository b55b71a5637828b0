// The invisible keyboard focus of the transcript window while no text view or field holds it:
// turns keys into transcript commands (navigation, keyboard selection, playback, the one-key
// editing commands, the start of an inline edit) and typed text, composed text included, into
// punctuation on the selection or an edit that begins with it. Holds no transcript state.
#pragma once

#include "platform/ui/KeyCodes.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class EditingController;

class QVKeyHandler : public QWidget {
public:
    // Most of a second that a handled Return or Enter keeps further ones out.
    static constexpr double kReturnGuardSeconds = 0.3;

    QVKeyHandler(EditingController& editing, QWidget* parent = nullptr);

    // Whether the speaker-range buttons that move a range's start are showing.
    void setSpeakerRangeButtonsVisible(std::function<bool()> current, std::function<bool()> next)
    {
        currentRangeButtonVisible_ = std::move(current);
        nextRangeButtonVisible_ = std::move(next);
    }

    // Page Up and Page Down go to `view` (the transcript's scroll area), which scrolls a page as
    // any text view does; no transcript command uses them.
    void setPageKeysTarget(QWidget* view) { pageKeysTarget_ = view; }

    // Answers false when the key belongs to the next responder.
    bool keyDown(const qv::KeyPress& key);
    bool keyUp(const qv::KeyPress& key);
    // Typed or composed text.
    void insertText(const QString& text);
    bool hasMarkedText() const { return !markedText_.isEmpty(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    bool editingAllowed() const;
    bool returnOrEnter(const qv::KeyPress& key);
    bool deleteKey(const qv::KeyPress& key);
    bool keyboardSelection(std::int64_t offset);
    void startEdit(std::int64_t mode, const QString& character = {});

    EditingController& editing_;
    QString markedText_;
    std::function<bool()> currentRangeButtonVisible_;
    std::function<bool()> nextRangeButtonVisible_;
    QPointer<QWidget> pageKeysTarget_;
};
