#include "app/shell/LaunchDefaults.h"

#include "model/AppDelegate.h"
#include "platform/foundation/Uuid.h"
#include "speakers/SpeakerPalette.h"

#include <array>

namespace qv::shell {

namespace {

const char* const kLegacyIdentifySpeakersKey = "QVDefaultIdentifySpeakers";
const char* const kSystemIDKey = "QVSystemID";

// Caption lines may begin before these words; the three English codes share one list.
const std::array<QStringList, 7>& startWordLists()
{
    static const std::array<QStringList, 7> lists = {
    // nl
    QStringList{
        "aan", "aangezien", "als", "bij", "daarna", "daarom", "dan", "dat", "de", "derhalve", "deze", "die",
        "dit", "door", "dus", "een", "en", "geen", "graag", "haar", "had", "heeft", "het", "hij", "ik", "in",
        "is", "je", "kon", "maar", "me", "men", "met", "mij", "moeten", "naar", "noch", "nog", "of", "om",
        "omdat", "ook", "op", "over", "per", "sedert", "sinds", "tenzij", "terwijl", "toch", "toen", "tot",
        "u", "uit", "van", "vanaf", "vervolgens", "voor", "wanneer", "want", "waren", "was", "wat", "welk",
        "welke", "wie", "wij", "ze", "zij", "zijn", "zo", "zoals", "zonder", "zou",
    },
    // en-AU, en-GB, en-US
    QStringList{
        "a", "an", "and", "are", "as", "because", "but", "by", "could", "for", "from", "had", "hadn't",
        "hadn’t", "has", "hasn't", "hasn’t", "he", "he's", "he’s", "her", "his", "I", "if", "in", "into", "is",
        "isn't", "isn’t", "it", "it's", "it’s", "like", "neither", "nor", "of", "on", "or", "she", "she's",
        "she’s", "should", "since", "so", "than", "that", "the", "then", "therefore", "they", "this", "to",
        "was", "wasn't", "wasn’t", "we", "were", "what", "when", "which", "while", "who", "who's", "who’s",
        "with", "without", "would", "yet", "you",
    },
    // fr
    QStringList{
        "a", "alors", "aurait", "avait", "avec", "car", "ce", "ceci", "celle", "cette", "comme", "c'est",
        "c’est", "dans", "de", "depuis", "devrait", "donc", "elle", "est", "et", "il", "ils", "je", "la", "le",
        "lequel", "les", "lorsque", "mais", "moi", "ni", "n'a", "n’a", "n'avait", "n’avait", "n'est", "n’est",
        "n'est-ce", "n’est-ce", "n'était", "n’était", "n'était-ce", "n’était-ce", "nous", "or", "ou", "par",
        "pendant", "pour", "pourrait", "puis", "puisque", "quand", "que", "quelle", "qui", "qu'est-ce",
        "qu’est-ce", "sa", "sans", "ses", "si", "son", "sont", "sur", "tandis", "toi", "tu", "un", "une",
        "voudrais", "vous", "à", "étaient", "était",
    },
    // de
    QStringList{
        "ab", "aber", "als", "also", "an", "auf", "aus", "bei", "da", "damit", "dann", "das", "dass", "den",
        "denn", "dennoch", "der", "deshalb", "dessen", "dich", "die", "dies", "diese", "dieser", "dieses",
        "dir", "doch", "du", "durch", "ein", "eine", "er", "es", "euch", "falls", "für", "haben", "hat",
        "hatte", "hätten", "ich", "ihr", "ihre", "im", "in", "ist", "könnte", "man", "mit", "möchten", "mögen",
        "müsste", "nach", "noch", "ob", "oder", "ohne", "schon", "sein", "seine", "seiner", "seines", "seins",
        "sie", "sind", "so", "sollte", "sonder", "sondern", "trotzdem", "und", "von", "wann", "war", "was",
        "weder", "weil", "welche", "wenn", "wer", "wie", "wir", "wurden", "während", "würde", "zu", "zum",
        "ähnlich",
    },
    // it
    QStringList{
        "a", "alla", "allora", "anche", "ancora", "avere", "aveva", "benché", "che", "chi", "ci", "circa",
        "ciò", "colei", "coloro", "come", "con", "cosa", "così", "cui", "da", "dato", "dentro", "di", "dopo",
        "dovere", "dovrebbero", "e", "egli", "ella", "era", "erano", "essa", "esse", "essi", "esso", "finché",
        "gli", "ha", "i", "il", "in", "io", "la", "le", "lei", "lo", "loro", "lui", "ma", "mentre", "neanche",
        "nemmeno", "neppure", "nessuno", "noi", "non", "nonostante", "né", "o", "oppure", "ovvero", "per",
        "perché", "perciò", "però", "piace", "poi", "poiché", "poteva", "potuto", "privo", "quale", "qualora",
        "quando", "quella", "quelle", "quello", "questa", "questo", "se", "sebbene", "secondo", "senza",
        "sicché", "siccome", "sopra", "su", "sua", "sue", "suo", "suoi", "te", "troppo", "tu", "tuttavia",
        "un", "una", "uno", "un'", "un’", "vi", "voi", "voluto", "è",
    },
    // pt
    QStringList{
        "a", "à", "ao", "aquela", "aquele", "aquilo", "as", "assim", "através", "até", "com", "como",
        "conforme", "contudo", "de", "dela", "dele", "dentro", "depois", "desde", "destituído", "devemos",
        "do", "durante", "e", "é", "ela", "elas", "ele", "eles", "em", "embora", "enquanto", "entretanto",
        "então", "essa", "esse", "esta", "estava", "estavam", "este", "está", "eu", "exceto", "isso", "isto",
        "já", "lhe", "mas", "muito", "naquela", "naquele", "nem", "no", "não", "nós", "o", "os", "ou", "para",
        "pela", "poderia", "podia", "pois", "por", "porque", "portanto", "porém", "qual", "quando", "quanto",
        "que", "quem", "quê", "se", "sem", "senão", "seria", "seu", "seus", "sobre", "sua", "suas", "também",
        "tanto", "te", "tem", "teve", "todavia", "tão", "um", "uma", "visto", "você", "vocês", "vós",
    },
    // es
    QStringList{
        "a", "al", "asi", "aunque", "como", "comoquiera", "con", "contra", "cual", "cuando", "de", "deber",
        "debería", "dentro", "desde", "e", "el", "ella", "ellas", "ellos", "en", "es", "ese", "eso", "estaba",
        "esto", "fueron", "ha", "había", "hacia", "haría", "hasta", "la", "las", "le", "lo", "los", "mientras",
        "ni", "no", "nosotros", "o", "os", "para", "pero", "podría", "por", "porque", "propio", "pues", "que",
        "quien", "quién", "qué", "si", "sin", "sino", "sobre", "son", "su", "sus", "suya", "suyas", "suyo",
        "suyos", "tampoco", "te", "tener", "tenido", "ti", "tiene", "tú", "u", "ud", "un", "una", "uno",
        "usted", "ustedes", "vosotros", "y", "ya", "yo", "él", "ésta", "éste",
    },
    };
    return lists;
}

QColor sRGB(int red, int green, int blue) { return QColor::fromRgb(red, green, blue); }

}  // namespace

PreferenceDictionary LaunchDefaults::defaults()
{
    return {
        {"QVAutoPlayAfterEditing", true},
        {"QVBetaLegacyFilesMigrationComplete", false},
        {"QVCustomWordsAddAccount", false},
        {"QVCustomWordsAddFile", true},
        {"QVCustomWordsViewAccount", false},
        {"QVCustomWordsViewFile", true},
        {"QVDefaultDiarization", 1},
        {"QVDefaultLanguage", "en-US"},
        {"QVExportAvidDSCaptionPages", "auto"},
        {"QVExportAvidDSSpeakers", "arrowsName"},
        {"QVExportFCPXKeywordType", "auto"},
        {"QVExportiTunesTimedTextSpeakers", "arrowsName"},
        {"QVExportPlainTextTimestamps", "changeOfSpeaker"},
        {"QVExportSubRipCaptionPages", "auto"},
        {"QVExportSubRipSpeakers", "arrowsName"},
        {"QVExportSubRipTimestampSource", "absolute"},
        {"QVHasViewedOnboarding", false},
        {"QVLastRatingReviewRequest", PreferenceDate{0}},
        {"QVPlaybackRate", 100},
        {"QVRememberMe", true},
        {"QVRightPanelTabView", 0},
        {"QVShowEditingControls", true},
        {"QVShowMissingMediaWarning", true},
        {"QVShowNavigationControls", true},
        {"QVTextSizeDisplay", 14},
        {"QVTextSizeExport", 12},
    };
}

void LaunchDefaults::registerDefaults(Preferences& preferences) { preferences.registerDefaults(defaults()); }

void LaunchDefaults::migrateLegacyKeys(Preferences& preferences)
{
    if (preferences.objectForKey(kLegacyIdentifySpeakersKey).isAbsent())
        return;
    preferences.setObject("QVDefaultDiarization", preferences.boolForKey(kLegacyIdentifySpeakersKey) ? 1 : 0);
    preferences.removeObject(kLegacyIdentifySpeakersKey);
}

QString LaunchDefaults::systemID(Preferences& preferences)
{
    if (auto stored = preferences.stringForKey(kSystemIDKey); stored && !stored->isEmpty())
        return *stored;
    QString made = createUUID();
    preferences.setObject(kSystemIDKey, made);
    return made;
}

void LaunchDefaults::fillTables(AppDelegate& ad, const Preferences& preferences)
{
    ad.textSizeDisplay = static_cast<double>(preferences.integerForKey("QVTextSizeDisplay"));
    ad.textSizeExport = static_cast<double>(preferences.integerForKey("QVTextSizeExport"));
    ad.brandColor = sRGB(255, 65, 20);
    ad.defaultTextColor = QColor::fromRgbF(0.1f, 0.1f, 0.1f);
    ad.dimmedTextColor = ad.defaultTextColor;
    ad.dimmedTextColor.setAlphaF(0.5f);
    ad.editingTextColor = sRGB(0, 117, 242);

    ad.availableLanguagesCodes = {"nl", "en-AU", "en-GB", "en-US", "fr", "de", "it", "pt", "es"};
    ad.availableLanguagesLabels = {"Dutch",   "English (Australian)", "English (British)",
                                   "English (North American)", "French", "German", "Italian", "Portuguese",
                                   "Spanish"};
    const auto& lists = startWordLists();
    ad.startWords = {{"nl", lists[0]}, {"en-AU", lists[1]}, {"en-GB", lists[1]}, {"en-US", lists[1]},
                     {"fr", lists[2]}, {"de", lists[3]},    {"it", lists[4]},    {"pt", lists[5]},
                     {"es", lists[6]}};

    ad.exportFCPXKeywordTypeCodes = {"auto", "sentence", "speakerRange"};
    ad.exportFCPXKeywordTypeLabels = {"Auto", "Sentence", "Speaker Range"};

    ad.speakerColorPalette = speakers::makeSpeakerColorPalette();
    ad.speakerColorOrder = {"purple", "lime", "blue", "yellow", "fuschia", "teal", "orange", "green", "red"};
    ad.speakerColorUnknown = speakers::makeSpeakerColorUnknown();
    ad.speakerColorUsed.clear();
}

}  // namespace qv::shell
