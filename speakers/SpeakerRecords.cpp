#include "speakers/SpeakerRecords.h"

#include "model/AppDelegate.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Random.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/Alert.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakerPalette.h"
#include "speakers/SpeakersController.h"

#include <algorithm>

namespace qv::speakers {

QString SpeakerRecords::chooseRandomColorName()
{
    AppDelegate& ad = c_.ad();
    QStringList names = ad.speakerColorPalette.keys();
    if (names.isEmpty())
        names = paletteColorNames();
    const auto count = static_cast<std::uint32_t>(names.size());
    QString chosen;
    for (;;) {
        chosen = names.at(static_cast<qsizetype>(randomBelow(count)));
        if (ad.speakerColorUsed.size() >= names.size() || !ad.speakerColorUsed.contains(chosen))
            break;
    }
    ad.speakerColorUsed.insert(chosen);
    return chosen;
}

void SpeakerRecords::decrementUseOfSpeakerColor(const QString& colorName)
{
    AppDelegate& ad = c_.ad();
    const bool inUse = std::any_of(ad.speakers.begin(), ad.speakers.end(),
                                   [&](const auto& speaker) { return speaker->color == colorName; });
    if (!inUse)
        ad.speakerColorUsed.remove(colorName);
}

QColor SpeakerRecords::colorForColorName(const QString& colorName) const
{
    const AppDelegate& ad = c_.ad();
    if (colorName == kColorNameGray)
        return ad.speakerColorUnknown;
    return ad.speakerColorPalette.value(colorName);
}

void SpeakerRecords::changeSpeakerToColorName(const std::shared_ptr<QVSpeaker>& speaker, const QString& colorName)
{
    if (!speaker || speaker->color == colorName)
        return;
    const QString former = speaker->color;
    c_.undoManager().registerUndo([this, speaker, former] { changeSpeakerToColorName(speaker, former); });
    c_.undoManager().setActionName(localizedString("Speaker Color"));
    speaker->color = colorName;
    decrementUseOfSpeakerColor(former);
    c_.ad().speakerColorUsed.insert(colorName);
    c_.updateSpeaker(speaker->uuid, {{"color", colorName.toStdString()}});
    c_.main().async([this, speaker] {
        c_.panel().reloadTable();
        c_.headerRows().reloadRowsSpeakerNamesForSpeaker(speaker);
        c_.host().resetFocus();
    });
    c_.touchUpdated();
}

bool SpeakerRecords::liveSpeakerHasName(const QString& name) const
{
    const AppDelegate& ad = c_.ad();
    return std::any_of(ad.speakers.begin(), ad.speakers.end(), [&](const auto& speaker) { return speaker->name == name; });
}

void SpeakerRecords::editSpeakerNameFinish(const std::shared_ptr<QVSpeaker>& speaker, const QString& name)
{
    if (!speaker || name == speaker->name)
        return;
    // An undo or redo puts back a name the speaker had: the rules were met when it was given.
    const bool replaying = c_.isUndoingOrRedoing();
    if (!replaying && name.trimmed().isEmpty()) {
        // A name of blanks or line breaks alone would show as no name at all.
        c_.alerts().beep();
        c_.main().async([this] { c_.panel().refreshSpeakersWithAnimation(); });
        return;
    }
    if (!replaying && liveSpeakerHasName(name)) {
        Alert alert;
        alert.messageText = localizedString("Duplicate speaker name");
        alert.informativeText = localizedString("This speaker name already exists");
        alert.style = AlertStyle::Warning;
        c_.alerts().beginSheet(alert, {});
        c_.main().async([this] {
            c_.panel().refreshSpeakersWithAnimation();
            c_.host().buildSpeakerMenu();
            c_.host().searchForString(QString());
        });
        return;
    }
    const QString former = speaker->name;
    c_.undoManager().registerUndo([this, speaker, former] { editSpeakerNameFinish(speaker, former); });
    c_.undoManager().setActionName(localizedString("Speaker Name"));
    speaker->name = name;
    c_.updateSpeaker(speaker->uuid, {{"name", name.toStdString()}});
    c_.touchUpdated();
    c_.main().async([this] {
        c_.panel().refreshSpeakersWithAnimation();
        c_.headerRows().reloadRowsAllSpeakerNames();
        c_.host().resetFocus();
        c_.host().buildSpeakerMenu();
        c_.host().searchForString(QString());
    });
}

void SpeakerRecords::editSpeakerNameCancel()
{
    c_.main().async([this] {
        c_.panel().buildSpeakersList();
        c_.panel().reloadTable();
        c_.host().buildSpeakerMenu();
        c_.host().resetFocus();
    });
}

QString SpeakerRecords::generateNewSpeakerName() const
{
    QString name = localizedString("Speaker 1");
    for (std::int64_t n = 2; liveSpeakerHasName(name); ++n)
        name = localizedString("Speaker %ld").replace(QStringLiteral("%ld"), QString::number(n));
    return name;
}

void SpeakerRecords::deleteSpeaker(const std::shared_ptr<QVSpeaker>& speaker)
{
    if (!speaker)
        return;
    AppDelegate& ad = c_.ad();
    speaker->deleted = true;
    ad.speakers.remove(speaker);
    ad.speakersDeleted.add(speaker);
    decrementUseOfSpeakerColor(speaker->color);
    c_.updateSpeaker(speaker->uuid, {{"deleted", true}});
}

void SpeakerRecords::restoreSpeaker(const std::shared_ptr<QVSpeaker>& speaker)
{
    if (!speaker)
        return;
    AppDelegate& ad = c_.ad();
    speaker->deleted = false;
    ad.speakersDeleted.remove(speaker);
    ad.speakers.add(speaker);
    ad.speakerColorUsed.insert(speaker->color);
    c_.updateSpeaker(speaker->uuid, {{"deleted", false}});
}

void SpeakerRecords::consolidateSpeakersWithAnimation(bool animate)
{
    std::vector<std::shared_ptr<QVSpeaker>> unused;
    for (const auto& speaker : c_.ad().speakers) {
        if (speaker->rangeCount == 0 && !isNotedWithoutRanges(speaker))
            unused.push_back(speaker);
    }
    for (const auto& speaker : unused)
        deleteSpeaker(speaker);
    if (!unused.empty())
        c_.touchUpdated();
    if (animate) {
        c_.panel().refreshSpeakersWithAnimation();
    } else {
        c_.panel().buildSpeakersList();
        c_.panel().reloadTable();
        c_.host().buildSpeakerMenu();
    }
}

void SpeakerRecords::noteSpeakersWithoutRanges()
{
    withoutRanges_.clear();
    for (const auto& speaker : c_.ad().speakers) {
        if (speaker->rangeCount == 0)
            withoutRanges_.push_back(speaker);
    }
}

void SpeakerRecords::noteArrivedSpeakersWithoutRanges(const std::vector<std::shared_ptr<QVSpeaker>>& known)
{
    for (const auto& speaker : c_.ad().speakers) {
        if (speaker->rangeCount == 0 && std::find(known.begin(), known.end(), speaker) == known.end()
            && !isNotedWithoutRanges(speaker))
            withoutRanges_.push_back(speaker);
    }
}

bool SpeakerRecords::isNotedWithoutRanges(const std::shared_ptr<QVSpeaker>& speaker) const
{
    return std::any_of(withoutRanges_.begin(), withoutRanges_.end(),
                       [&](const std::weak_ptr<QVSpeaker>& noted) { return noted.lock() == speaker; });
}

}  // namespace qv::speakers
