#include "platform/ui/PopUpButton.h"

namespace qv {

void PopUpButton::setItems(std::vector<PopUpItem> items) {
    items_ = std::move(items);
    selected_ = items_.empty() ? -1 : 0;
}

void PopUpButton::selectItemAtIndex(int index) {
    if (index >= 0 && index < int(items_.size())) selected_ = index;
}

bool PopUpButton::selectItemWithRepresentedObject(const QString& value) {
    for (int i = 0; i < int(items_.size()); ++i) {
        if (items_[i].representedObject == value) {
            selected_ = i;
            return true;
        }
    }
    return false;
}

const PopUpItem* PopUpButton::selectedItem() const {
    return selected_ >= 0 && selected_ < int(items_.size()) ? &items_[selected_] : nullptr;
}

QString PopUpButton::titleOfSelectedItem() const {
    const PopUpItem* item = selectedItem();
    return item ? item->title : QString();
}

void PopUpButton::userSelectItemAtIndex(int index) {
    if (index < 0 || index >= int(items_.size())) return;
    selected_ = index;
    if (action_) action_(*this);
}

}  // namespace qv
