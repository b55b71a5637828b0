#include "search/QVCustomWordsAddViewController.h"

#include "platform/ui/PopupPlacement.h"
#include "search/CustomWords.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv::search {

QVCustomWordsAddViewController::QVCustomWordsAddViewController(Preferences& preferences, AddWords add)
    : preferences_(preferences), add_(std::move(add)), popover_(new QFrame(nullptr, Qt::Popup))
{
    popover_->setObjectName(QStringLiteral("customWordsAddPopover"));
    popover_->setFrameShape(QFrame::StyledPanel);
    popover_->setStyleSheet(QStringLiteral("QFrame#customWordsAddPopover { background: rgb(236, 236, 236); }"));
    auto* column = new QVBoxLayout(popover_);
    column->setContentsMargins(10, 10, 10, 10);
    column->setSpacing(8);
    auto* title = new QLabel(QStringLiteral("One custom word or phrase per line:"), popover_);
    column->addWidget(title);
    textView_ = new QPlainTextEdit(popover_);
    textView_->setObjectName(QStringLiteral("customWordsTextView"));
    QFont font;
    font.setPixelSize(13);
    textView_->setFont(font);
    textView_->setMinimumWidth(260);
    textView_->setFixedHeight(150);
    column->addWidget(textView_);
    auto* row = new QHBoxLayout();
    addToFile_ = new QCheckBox(QStringLiteral("Add to File"), popover_);
    addToAccount_ = new QCheckBox(QStringLiteral("Add to Account"), popover_);
    addToFile_->setChecked(preferences_.boolForKey(QStringLiteral("QVCustomWordsAddFile")));
    addToAccount_->setChecked(preferences_.boolForKey(QStringLiteral("QVCustomWordsAddAccount")));
    addWordsButton_ = new QPushButton(QStringLiteral("Add"), popover_);
    addWordsButton_->setDefault(true);
    row->addWidget(addToFile_);
    row->addWidget(addToAccount_);
    row->addStretch();
    row->addWidget(addWordsButton_);
    column->addLayout(row);

    QObject::connect(addToFile_, &QCheckBox::toggled, popover_, [this](bool on) {
        preferences_.setObject(QStringLiteral("QVCustomWordsAddFile"), on);
        updateAddWordsButton();
    });
    QObject::connect(addToAccount_, &QCheckBox::toggled, popover_, [this](bool on) {
        preferences_.setObject(QStringLiteral("QVCustomWordsAddAccount"), on);
        updateAddWordsButton();
    });
    QObject::connect(textView_, &QPlainTextEdit::textChanged, popover_, [this] { updateAddWordsButton(); });
    QObject::connect(addWordsButton_, &QPushButton::clicked, popover_, [this] { addEnteredWords(); });
    updateAddWordsButton();
}

QVCustomWordsAddViewController::~QVCustomWordsAddViewController() { delete popover_; }

void QVCustomWordsAddViewController::showRelativeTo(QWidget* anchor)
{
    textView_->clear();
    popover_->adjustSize();
    const QPoint corner = anchor->mapToGlobal(QPoint(0, 0));
    popover_->move(popupOriginInsideWindow(anchor, QPoint(corner.x() - popover_->width() - 4, corner.y()), popover_->size()));
    popover_->show();
    textView_->setFocus(Qt::PopupFocusReason);
}

void QVCustomWordsAddViewController::close() { popover_->hide(); }

void QVCustomWordsAddViewController::updateAddWordsButton()
{
    addWordsButton_->setEnabled(!textView_->toPlainText().isEmpty() &&
                                (addToAccount_->isChecked() || addToFile_->isChecked()));
}

void QVCustomWordsAddViewController::addEnteredWords()
{
    const QStringList entries = enteredCustomWords(textView_->toPlainText());
    QStringList destinations;
    if (addToAccount_->isChecked())
        destinations << kCustomWordsAccount;
    if (addToFile_->isChecked())
        destinations << kCustomWordsFile;
    if (!entries.isEmpty() && !destinations.isEmpty())
        add_(entries, destinations);
    close();
}

}  // namespace qv::search
