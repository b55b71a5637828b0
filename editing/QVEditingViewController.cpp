#include "editing/QVEditingViewController.h"

#include "editing/EditingController.h"
#include "editing/QVEditingButtonCell.h"
#include "editing/QVEditingImageButton.h"
#include "model/AppDelegate.h"

namespace {

// Size of the panel in points; button frames are given bottom-up within it.
constexpr int kPanelWidth = 390;
constexpr int kPanelHeight = 90;
constexpr int kTopRow = 49;
constexpr int kBottomRow = 15;

struct PanelButton {
    int tag;
    const char16_t* title;  // none for an image button
    QVEditingImageButton::Image image;
    const char16_t* toolTip;
    int x;
    int y;
};

using Image = QVEditingImageButton::Image;
using Panel = QVEditingViewController;

const PanelButton kButtons[] = {
    {Panel::kTagEdit, nullptr, Image::Edit, u"Edit Selected Words", 23, kTopRow},
    {Panel::kTagLowercase, u"ab", {}, u"Lowercase", 57, kTopRow},
    {Panel::kTagUppercase, u"Ab", {}, u"Uppercase First Letter", 91, kTopRow},
    {Panel::kTagUppercaseAll, u"AB", {}, u"Uppercase All", 125, kTopRow},
    {Panel::kTagJoin, nullptr, Image::Join, u"Join Words", 23, kBottomRow},
    {Panel::kTagDeletePunctuation, nullptr, Image::DeletePunctuation, u"Delete Punctuation", 57, kBottomRow},
    {Panel::kTagDeleteWord, nullptr, Image::DeleteWord, u"Delete Words", 91, kBottomRow},
    {Panel::kTagSemicolon, u";", {}, u"Add Semicolon (;)", 159, kTopRow},
    {Panel::kTagColon, u":", {}, u"Add Colon (:)", 193, kTopRow},
    {Panel::kTagQuestionMark, u"?", {}, u"Add Question Mark (?)", 261, kTopRow},
    {Panel::kTagExclamationMark, u"!", {}, u"Add Exclamation Mark (!)", 295, kTopRow},
    {Panel::kTagComma, u",", {}, u"Add Comma (,)", 227, kTopRow},
    {Panel::kTagPeriod, u".", {}, u"Add Period (.)", 159, kBottomRow},
    {Panel::kTagEllipsis, u"\u2026", {}, u"Add Ellipsis (\u2026)", 193, kBottomRow},
    {Panel::kTagHyphen, u"-", {}, u"Add Hyphen (-)", 295, kBottomRow},
    {Panel::kTagSingleQuotes, u"\u2018 \u2019", {}, u"Wrap in Single Quotes (')", 341, kBottomRow},
    {Panel::kTagDoubleQuotes, u"\u201C \u201D", {}, u"Wrap in Double Quotes (\")", 341, kTopRow},
    {Panel::kTagParentheses, u"( )", {}, u"Wrap in Parentheses", 227, kBottomRow},
    {Panel::kTagSquareBrackets, u"[ ]", {}, u"Wrap in Square Brackets", 261, kBottomRow},
    {Panel::kTagParagraphBreak, nullptr, Image::ParagraphBreak, u"Add Paragraph Break (Shift-Return/Enter)", 125, kBottomRow},
};

constexpr int kTextButtonTags[] = {
    Panel::kTagLowercase,    Panel::kTagUppercase,   Panel::kTagUppercaseAll,    Panel::kTagSemicolon,
    Panel::kTagColon,        Panel::kTagQuestionMark, Panel::kTagExclamationMark, Panel::kTagComma,
    Panel::kTagPeriod,       Panel::kTagEllipsis,    Panel::kTagHyphen,          Panel::kTagSingleQuotes,
    Panel::kTagDoubleQuotes, Panel::kTagParentheses, Panel::kTagSquareBrackets,
};

constexpr int kImageButtonTagsButEdit[] = {Panel::kTagJoin, Panel::kTagDeletePunctuation, Panel::kTagDeleteWord,
                                           Panel::kTagParagraphBreak};

// A mark button is off when the word already ends in the mark (or, for the semicolon and the
// colon, in a closing quote after which neither may follow).
struct MarkRule {
    int tag;
    const char16_t* endings;
};
const MarkRule kMarkRules[] = {
    {Panel::kTagComma, u","},
    {Panel::kTagHyphen, u"\u2014"},
    {Panel::kTagPeriod, u"."},
    {Panel::kTagEllipsis, u"\u2026"},
    {Panel::kTagSemicolon, u";\u2019\u203A\u2039\u201D\u00BB\u00AB"},
    {Panel::kTagColon, u":\u2019\u203A\u2039\u201D\u00BB\u00AB"},
    {Panel::kTagQuestionMark, u"?"},
    {Panel::kTagExclamationMark, u"!"},
};

const QString kParagraphBreakOnToolTip = QStringLiteral("Delete Paragraph Break  (Shift-Delete)");
const QString kParagraphBreakOffToolTip = QStringLiteral("Add Paragraph Break (Shift-Return/Enter)");

}  // namespace

QVEditingViewController::QVEditingViewController(AppDelegate& ad, EditingController& editing, QWidget* parent)
    : QWidget(parent), ad_(ad), editing_(editing)
{
    setFixedSize(kPanelWidth, kPanelHeight);
    for (const PanelButton& entry : kButtons) {
        QAbstractButton* button = nullptr;
        if (entry.title)
            button = new QVEditingButtonCell(QString::fromUtf16(entry.title), this);
        else
            button = new QVEditingImageButton(entry.image, this);
        button->setToolTip(QString::fromUtf16(entry.toolTip));
        buttons_[static_cast<std::size_t>(entry.tag - 1)] = button;
        place(entry.tag, entry.x, entry.y);
        connect(button, &QAbstractButton::clicked, this, [this, tag = entry.tag] { buttonPressed(tag); });
    }
    button(kTagParagraphBreak)->setCheckable(true);
    editing_.setEditingViewController(this);
}

QVEditingViewController::~QVEditingViewController()
{
    editing_.setEditingViewController(nullptr);
}

QAbstractButton* QVEditingViewController::button(int tag) const
{
    if (tag < 1 || tag > kButtonCount)
        return nullptr;
    return buttons_[static_cast<std::size_t>(tag - 1)];
}

QVEditingButtonCell* QVEditingViewController::textButton(int tag) const
{
    return static_cast<QVEditingButtonCell*>(button(tag));
}

QVEditingImageButton* QVEditingViewController::imageButton(int tag) const
{
    return static_cast<QVEditingImageButton*>(button(tag));
}

void QVEditingViewController::place(int tag, int x, int y)
{
    const int side = QVEditingButtonCell::kSide;
    button(tag)->setGeometry(x, kPanelHeight - y - side, side, side);
}

void QVEditingViewController::configureUI()
{
    const auto setLabel = [this](int tag, const QString& title, const QString& toolTip) {
        button(tag)->setText(title);
        button(tag)->setToolTip(toolTip);
    };
    const EditingEnvironment& env = editing_.environment;
    if (env.fileIsEnglish() || env.languageIs("nl") || env.languageIs("it") || env.languageIs("pt") ||
        env.languageIs("es")) {
        setLabel(kTagSingleQuotes, QStringLiteral("\u2018 \u2019"), QStringLiteral("Wrap in Single Quotes (')"));
        setLabel(kTagDoubleQuotes, QStringLiteral("\u201C \u201D"), QStringLiteral("Wrap in Double Quotes (\")"));
    } else if (env.languageIs("fr")) {
        setLabel(kTagSingleQuotes, QStringLiteral("\u2039\u2009\u203A"), QStringLiteral("Wrap in Single Guillemets (\u2039 or \u203A)"));
        setLabel(kTagDoubleQuotes, QStringLiteral("\u00AB\u2009\u00BB"), QStringLiteral("Wrap in Double Guillemets (\u00AB or \u00BB)"));
    } else if (env.languageIs("de")) {
        setLabel(kTagSingleQuotes, QStringLiteral("\u203A\u2009\u2039"), QStringLiteral("Wrap in Single Guillemets (\u203A or \u2039)"));
        setLabel(kTagDoubleQuotes, QStringLiteral("\u00BB\u2009\u00AB"), QStringLiteral("Wrap in Double Guillemets (\u00BB or \u00AB)"));
    }

    if (env.languageIs("es")) {
        setLabel(kTagQuestionMark, QStringLiteral("\u00BF ?"), QStringLiteral("Wrap in Question Marks (\u00BF or ?)"));
        place(kTagQuestionMark, 307, kBottomRow);
        setLabel(kTagExclamationMark, QStringLiteral("\u00A1 !"), QStringLiteral("Wrap in Exclamation Marks (\u00A1 or !)"));
        place(kTagExclamationMark, 307, kTopRow);
        place(kTagHyphen, 261, kTopRow);
    } else {
        setLabel(kTagQuestionMark, QStringLiteral("?"), QStringLiteral("Add Question Mark (?)"));
        place(kTagQuestionMark, 261, kTopRow);
        setLabel(kTagExclamationMark, QStringLiteral("!"), QStringLiteral("Add Exclamation Mark (!)"));
        place(kTagExclamationMark, 295, kTopRow);
        place(kTagHyphen, 295, kBottomRow);
    }
}

void QVEditingViewController::refreshImageButton(QVEditingImageButton* button, bool enabled)
{
    button->setEnabled(enabled);
    button->setAlpha(enabled ? kEnabledAlpha : kDisabledAlpha);
}

void QVEditingViewController::refreshEditingOptions()
{
    const bool unavailable = !ad_.currentFile || !ad_.currentFile->hasTranscript || ad_.isBeforeFirstWord ||
                             ad_.isViewingOnly;
    if (unavailable)
        refreshImageButton(imageButton(kTagEdit), false);
    if (unavailable || ad_.isEditing) {
        // During an edit Edit stays as it is: pressing it finishes the edit.
        for (const int tag : kTextButtonTags)
            button(tag)->setEnabled(false);
        for (const int tag : kImageButtonTagsButEdit)
            refreshImageButton(imageButton(tag), false);
        return;
    }

    const QVOrderedSet<QVWord> words = SelectionCommands::getSelectedWords(ad_);
    const CaseCommands& caseCommands = editing_.caseCommands;
    refreshImageButton(imageButton(kTagEdit), true);
    button(kTagLowercase)->setEnabled(caseCommands.canLowercaseWords(words));
    button(kTagUppercase)->setEnabled(caseCommands.canUppercaseFirstWords(words));
    button(kTagUppercaseAll)->setEnabled(caseCommands.canUppercaseAllWords(words));
    refreshImageButton(imageButton(kTagDeletePunctuation), caseCommands.canDeletePunctuation(words));
    refreshImageButton(imageButton(kTagDeleteWord), true);

    QAbstractButton* paragraph = button(kTagParagraphBreak);
    if (words.size() == 1) {
        const auto& word = words.first();
        // A word without text leaves the mark buttons as they were.
        if (!word->name().isEmpty())
            setMarkButtonsForWordEnding(word->name().back());
        refreshImageButton(imageButton(kTagJoin), false);
        paragraph->setChecked(word->newParagraph);
        paragraph->setToolTip(word->newParagraph ? kParagraphBreakOnToolTip : kParagraphBreakOffToolTip);
        refreshImageButton(imageButton(kTagParagraphBreak), true);
    } else {
        for (const int tag : {kTagComma, kTagPeriod, kTagEllipsis, kTagSemicolon, kTagColon})
            button(tag)->setEnabled(false);
        button(kTagHyphen)->setEnabled(true);
        // Over several words the Spanish marks wrap them; the others have no meaning there.
        const bool spanish = editing_.environment.languageIs("es");
        button(kTagQuestionMark)->setEnabled(spanish);
        button(kTagExclamationMark)->setEnabled(spanish);
        refreshImageButton(imageButton(kTagJoin), true);
        refreshImageButton(imageButton(kTagParagraphBreak), false);
    }
    for (const int tag : {kTagSingleQuotes, kTagDoubleQuotes, kTagParentheses, kTagSquareBrackets})
        button(tag)->setEnabled(true);
}

void QVEditingViewController::setMarkButtonsForWordEnding(QChar last)
{
    for (const MarkRule& rule : kMarkRules)
        button(rule.tag)->setEnabled(!QString::fromUtf16(rule.endings).contains(last));
}

void QVEditingViewController::resumePlayback()
{
    if (ad_.viewServices)
        ad_.viewServices->resumePlayback();
}

void QVEditingViewController::buttonPressed(int tag)
{
    const QVOrderedSet<QVWord> words = SelectionCommands::getSelectedWords(ad_);
    const auto mark = [&](const QString& text) { editing_.punctuation.editWordsWithPunctuation(words, text); };
    const auto wrap = [&](WrapCommands::Kind kind) {
        editing_.wrap.wrapWords(kind, words);
        resumePlayback();
    };
    const bool spanish = editing_.environment.languageIs("es");
    switch (tag) {
    case kTagEdit:
        if (!ad_.currentWord || ad_.isViewingOnly)
            return;
        if (ad_.isEditing)
            editing_.session.editWordsFinishWithResumePlayback(true);
        else
            editing_.session.editWordsStartWithMode(WordEditingSession::kQVEditWordSelectAll);
        return;
    case kTagLowercase:
        editing_.caseCommands.editWordsToLowercase(words, true);
        return;
    case kTagUppercase:
        editing_.caseCommands.editWordsToUppercaseFirst(words, true);
        return;
    case kTagUppercaseAll:
        editing_.caseCommands.editWordsToUppercaseAll(words, true);
        return;
    case kTagJoin:
        editing_.deleteJoin.joinWords(words, QString(""));
        return;
    case kTagDeletePunctuation:
        editing_.punctuation.deletePunctuationForWords(words);
        return;
    case kTagDeleteWord:
        editing_.deleteJoin.deleteWords(words);
        return;
    case kTagSemicolon:
        return mark(";");
    case kTagColon:
        return mark(":");
    case kTagQuestionMark:
        return spanish ? wrap(WrapCommands::Kind::QuestionMarks) : mark("?");
    case kTagExclamationMark:
        return spanish ? wrap(WrapCommands::Kind::ExclamationMarks) : mark("!");
    case kTagComma:
        return mark(",");
    case kTagPeriod:
        return mark(".");
    case kTagEllipsis:
        return mark(QStringLiteral("\u2026"));
    case kTagHyphen:
        return mark("-");
    case kTagSingleQuotes:
        return wrap(WrapCommands::Kind::SingleQuotes);
    case kTagDoubleQuotes:
        return wrap(WrapCommands::Kind::DoubleQuotes);
    case kTagParentheses:
        return wrap(WrapCommands::Kind::Parentheses);
    case kTagSquareBrackets:
        return wrap(WrapCommands::Kind::SquareBrackets);
    case kTagParagraphBreak: {
        if (words.empty())
            return;
        // A click has already switched the button to the state it asks for.
        QAbstractButton* paragraph = button(kTagParagraphBreak);
        const bool on = paragraph->isChecked();
        if (on)
            editing_.paragraphs.addNewParagraphForWord(words.first());
        else
            editing_.paragraphs.deleteParagraphForWord(words.first());
        paragraph->setChecked(on);
        return;
    }
    default:
        return;
    }
}
