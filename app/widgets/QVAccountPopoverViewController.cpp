#include "app/widgets/QVAccountPopoverViewController.h"

#include "app/widgets/WidgetsHost.h"

#include <QPushButton>
#include <QVBoxLayout>

QVAccountPopoverViewController::QVAccountPopoverViewController(WidgetsHost& host)
    : host_(host), view_(new QWidget), buyMinutesButton_(new QPushButton(QStringLiteral("Buy Minutes…"), view_)),
      logOutButton_(new QPushButton(QStringLiteral("Log Out"), view_))
{
    auto* column = new QVBoxLayout(view_);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(8);
    column->addWidget(buyMinutesButton_);
    column->addWidget(logOutButton_);
    buyMinutesButton_->setMinimumWidth(160);
    QObject::connect(buyMinutesButton_, &QPushButton::clicked, view_, [this] { buyMinutesButtonPressed(); });
    QObject::connect(logOutButton_, &QPushButton::clicked, view_, [this] { logOutButtonPressed(); });
}

QVAccountPopoverViewController::~QVAccountPopoverViewController()
{
    delete view_.data();
}

void QVAccountPopoverViewController::buyMinutesButtonPressed()
{
    host_.showBuyMinutes();
}

void QVAccountPopoverViewController::logOutButtonPressed()
{
    host_.logOut();
}
