#include "app/widgets/QVKeyboardShortcutsWC.h"

#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWidget>

const QUrl QVKeyboardShortcutsWC::kPageUrl(QStringLiteral("qrc:/keyboard-shortcuts-in-app/index.html"));

QVKeyboardShortcutsWC::~QVKeyboardShortcutsWC()
{
    delete window_.data();
}

QWidget* QVKeyboardShortcutsWC::window()
{
    if (!window_)
        windowDidLoad();
    return window_;
}

void QVKeyboardShortcutsWC::showWindow()
{
    window()->show();
    window_->raise();
}

void QVKeyboardShortcutsWC::closeWindow()
{
    if (window_)
        window_->hide();
}

void QVKeyboardShortcutsWC::windowDidLoad()
{
    window_ = new QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint);
    window_->setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    window_->resize(540, 700);
    webView_ = new QTextBrowser(window_);
    webView_->setFrameShape(QFrame::NoFrame);
    webView_->document()->setDocumentMargin(18);
    webView_->setOpenExternalLinks(true);
    QPalette palette = webView_->palette();
    palette.setColor(QPalette::Base, QColor(46, 46, 46));
    palette.setColor(QPalette::Text, QColor(220, 220, 220));
    webView_->setPalette(palette);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(webView_);
    webView_->setSource(kPageUrl);
}
