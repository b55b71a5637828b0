#include "app/widgets/PendingFilesEmptyView.h"

#include "app/widgets/DarkScreenMessage.h"
#include "app/widgets/QVBackgroundViews.h"
#include "app/widgets/QVButtons.h"
#include "model/AppDelegate.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

// Account statuses: from this one on the account is verified and may import.
constexpr std::int64_t kVerifiedUserStatus = 30;
// The service's status while transcription is unavailable.
constexpr std::int64_t kServiceUnavailable = -1;

}  // namespace

PendingFilesEmptyView::PendingFilesEmptyView(const AppDelegate& ad, QWidget* parent)
    : QWidget(parent), ad_(ad), instructions_(makeDarkScreenMessage({}, this)),
      addFilesButton_(new QVDarkButton(QStringLiteral("+")))
{
    setObjectName(QStringLiteral("pendingFilesEmptyView"));
    fillDarkScreenBackground(this, QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    instructions_->setObjectName(QStringLiteral("tableViewInstructions"));
    instructions_->setWordWrap(true);

    auto* actionBar = new QVDarkMidBackground(this);
    actionBar->setObjectName(QStringLiteral("actionBar"));
    actionBar->setFixedHeight(kActionBarHeight);
    addFilesButton_->setParent(actionBar);
    addFilesButton_->setObjectName(QStringLiteral("addFilesButton"));
    addFilesButton_->setAccessibleName(QStringLiteral("Import Media"));
    addFilesButton_->setFlat(true);
    addFilesButton_->setFixedSize(32, 32);
    QFont plus = addFilesButton_->font();
    plus.setPointSizeF(plus.pointSizeF() * 1.6);
    addFilesButton_->setFont(plus);
    connect(addFilesButton_, &QPushButton::clicked, this, [this] {
        if (addFiles_)
            addFiles_();
    });
    auto* bar = new QHBoxLayout(actionBar);
    bar->setContentsMargins(8, 0, 8, 0);
    bar->addWidget(addFilesButton_);
    bar->addStretch(1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(instructions_, 1);
    column->addWidget(actionBar);
    refreshPendingView();
}

QString PendingFilesEmptyView::instructionsText(std::int64_t userStatus, std::int64_t externalServiceStatus,
                                                const QString& unverifiedAccountMessage)
{
    if (userStatus >= 1 && userStatus < kVerifiedUserStatus)
        return unverifiedAccountMessage;
    if (externalServiceStatus == kServiceUnavailable)
        return QStringLiteral("Transcription is not available\nplease try again later");
    return QStringLiteral("Import files\nby clicking the + button\nor dropping here");
}

bool PendingFilesEmptyView::importAllowed(std::int64_t userStatus, bool libraryDropInProgress,
                                          std::int64_t externalServiceStatus)
{
    return userStatus >= kVerifiedUserStatus && !libraryDropInProgress && externalServiceStatus != kServiceUnavailable;
}

void PendingFilesEmptyView::refreshPendingView()
{
    instructions_->setText(instructionsText(ad_.userStatus, ad_.externalServiceStatus, ad_.unverifiedAccountMessage));
    addFilesButton_->setEnabled(addFiles_
                                && importAllowed(ad_.userStatus, ad_.droppedXMLDoc != nullptr, ad_.externalServiceStatus));
}

void PendingFilesEmptyView::setAddFilesAction(std::function<void()> action)
{
    addFiles_ = std::move(action);
    refreshPendingView();
}
