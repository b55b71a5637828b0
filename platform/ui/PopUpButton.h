#pragma once
// A pop-up button's state, kept apart from any widget: its items (a title and the value it
// stands for), the selection, visibility and the action sent when the user picks an item.
// Panels show it; code fills it and reads it back.
#include <QString>
#include <functional>
#include <vector>

namespace qv {

struct PopUpItem {
    QString title;             // shown text
    QString representedObject; // the value the item stands for
};

class PopUpButton {
public:
    PopUpButton() = default;
    PopUpButton(const PopUpButton&) = delete;
    PopUpButton& operator=(const PopUpButton&) = delete;

    void setItems(std::vector<PopUpItem> items);
    const std::vector<PopUpItem>& items() const { return items_; }

    // Selects without sending the action; an index outside the items is ignored.
    void selectItemAtIndex(int index);
    // Selects the first item standing for `value`; returns whether one did.
    bool selectItemWithRepresentedObject(const QString& value);
    // -1 when there are no items.
    int indexOfSelectedItem() const { return selected_; }
    // The selected item; null when there is none.
    const PopUpItem* selectedItem() const;
    QString titleOfSelectedItem() const;

    // The user picks an item: it is selected and the action is sent.
    void userSelectItemAtIndex(int index);
    void setAction(std::function<void(PopUpButton&)> action) { action_ = std::move(action); }

    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

private:
    std::vector<PopUpItem> items_;
    int selected_ = -1;
    bool hidden_ = false;
    bool enabled_ = true;
    std::function<void(PopUpButton&)> action_;
};

}  // namespace qv
