#include "model/QVWord.h"

#include "model/TextUtilities.h"

void QVWord::setName(const QString& name)
{
    name_ = name;
    nameClean_ = name.isNull() ? QString() : stripWhitespaceAndPunctuation(name);
}

std::shared_ptr<QVWord> QVWord::copy() const
{
    auto word = std::make_shared<QVWord>();
    word->characterEnd = characterEnd;
    word->characterStart = characterStart;
    word->confidence = confidence;
    word->end = end;
    word->favorite = favorite;
    word->deleted = deleted;
    word->lockTiming = lockTiming;
    word->setName(name_);
    word->namePending = namePending;
    word->newParagraph = newParagraph;
    word->speakerRange = speakerRange;
    word->start = start;
    word->status = status;
    word->uuid = uuid;
    return word;
}
