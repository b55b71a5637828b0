// The panel's check box.
#include "intake/audio/QVCheckBox.h"

int QVCheckBox::state() const
{
    switch (checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return -1;
    default:
        return 0;
    }
}

void QVCheckBox::setState(int state)
{
    if (state < 0 && allowsMixedState())
        setCheckState(Qt::PartiallyChecked);
    else
        setCheckState(state > 0 ? Qt::Checked : Qt::Unchecked);
}

void QVCheckBox::nextCheckState() { setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked); }
