#include "app/shell/TranscriptScreen.h"

#include "model/QVMediaFile.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/media/Composition.h"

#include <QFileInfo>

namespace qv::shell {

namespace {

const QStringList kAudioExtensions = {"wav", "aif", "aiff", "mp3", "m4a", "aac", "flac", "caf", "bwf"};

}  // namespace

TranscriptScreen::TranscriptScreen(AppDelegate& ad, Dispatcher& main, Preferences& preferences, AlertPresenter& alerts,
                                   Hooks hooks)
    : ad_(ad), main_(main), hooks_(std::move(hooks)), player_(main, makeDefaultAudioOutput(main)),
      mainPlayer_(player_, main, [&main] { return std::make_unique<Player>(main, makeDefaultAudioOutput(main)); }),
      table_(ad, main, mainPlayer_), speakers_(ad, main, alerts, table_), highlighter_(ad, main, mainPlayer_, table_),
      transport_(ad, main, mainPlayer_, preferences, table_, highlighter_),
      navigation_(ad, main, mainPlayer_, transport_, highlighter_),
      view_(table_, highlighter_, transport_, navigation_, mainPlayer_),
      setUp_(ad, main, mainPlayer_, table_, highlighter_, transport_),
      scrubBar_(std::make_unique<transcript::QVScrubBar>()),
      speakersPanel_(std::make_unique<speakers::SpeakersPanelView>(speakers_))
{
    table_.setSpeakersController(&speakers_);
    table_.setHighlighter(&highlighter_);
    transport_.setSelectionPlayer(&mainPlayer_);
    scrubBar_->setObjectName(QStringLiteral("scrubBar"));
    scrubBar_->setFixedHeight(transcript::QVScrubBar::kBarHeight + transcript::QVScrubBar::kBarBottomOffset);
    scrubBar_->setTarget(&transport_);
    setUp_.setProportionChanged([this](double proportion) { scrubBar_->setProportionValue(static_cast<float>(proportion)); });
    setUp_.setMissingMediaButton([this] { return hooks_.wordsSearchMediaButtonShown && hooks_.wordsSearchMediaButtonShown(); },
                                 [this](bool shown) {
                                     if (hooks_.showMissingMedia)
                                         hooks_.showMissingMedia(shown);
                                 });
    highlighter_.setTimeDisplayChanged([this](const QString& text) {
        if (hooks_.showTime)
            hooks_.showTime(text);
    });
    ad_.viewServices = &view_;
    ad_.speakerServices = &speakers_;
    ad_.modelServices = this;
}

TranscriptScreen::~TranscriptScreen()
{
    if (ad_.modelServices == this)
        ad_.modelServices = nullptr;
    if (ad_.viewServices == &view_)
        ad_.viewServices = nullptr;
    if (ad_.speakerServices == &speakers_)
        ad_.speakerServices = nullptr;
    player_.pause();
}

MediaTime TranscriptScreen::playerCurrentTime() const { return MediaTime(mainPlayer_.currentMilliseconds(), 1000); }

void TranscriptScreen::transcriptRowCountChanged() { table_.tableView().reloadData(); }

std::shared_ptr<Asset> TranscriptScreen::createURLAsset(const QUrl& url)
{
    MediaResult<Asset> inspected = Asset::inspect(url.toLocalFile().toStdString());
    if (!inspected)
        return nullptr;
    return std::make_shared<Asset>(std::move(inspected.value()));
}

// The "missing media" movie's picture, stretched to the length of the media it stands for when it
// is shorter, so that the transcript plays and can be corrected while the media are away. The
// media's access is given back: the placeholder does not read them.
std::shared_ptr<Asset> TranscriptScreen::createMissingMediaAssetForSimpleFile(QVFile& file)
{
    const std::shared_ptr<QVMediaFile> first = file.mediaFiles.empty() ? nullptr : file.mediaFiles.front();
    if (first && !first->url.isEmpty() && first->requiresSecurityAccess && first->hasAccessToURL) {
        stopAccessingURL(first->url);
        first->hasAccessToURL = false;
    }
    // The file's own duration counts too: the media file's may be unknown here (its record came
    // before the transcription had measured it), and the words must all be reachable.
    MediaTime length = first ? first->duration : MediaTime::zero();
    if (!length.isValid() || length < MediaTime(file.duration, 1000))
        length = MediaTime(file.duration, 1000);
    const std::optional<std::filesystem::path> movie = pathForResource("missing media", "mov");
    return std::make_shared<Asset>(Asset::fromComposition(
        Composition::placeholder(movie ? movie->string() : std::string("missing media.mov"), length)));
}

std::shared_ptr<Asset> TranscriptScreen::createAssetWithMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles,
                                                                   const MediaTime&)
{
    for (const auto& mediaFile : mediaFiles)
        if (mediaFile && !mediaFile->url.isEmpty())
            if (std::shared_ptr<Asset> asset = createURLAsset(mediaFile->url))
                return asset;
    return nullptr;
}

// The assets made here are inspected when they are made; only the answer waits for the next turn.
void TranscriptScreen::loadValuesAsynchronouslyForKeys(const std::shared_ptr<Asset>&, const QStringList&,
                                                       std::function<void()> done)
{
    main_.async(std::move(done));
}

// A bookmark here is the file's absolute path; it resolves while the file is still there.
std::optional<QByteArray> TranscriptScreen::createBookmarkData(const QUrl& url, QString* error)
{
    const QFileInfo info(url.toLocalFile());
    if (!url.isLocalFile() || !info.exists()) {
        if (error)
            *error = QStringLiteral("The file %1 could not be found.").arg(url.toString());
        return std::nullopt;
    }
    return info.absoluteFilePath().toUtf8();
}

std::optional<QUrl> TranscriptScreen::resolveBookmarkData(const QByteArray& bookmark)
{
    const QString path = QString::fromUtf8(bookmark);
    if (path.isEmpty() || !QFileInfo::exists(path))
        return std::nullopt;
    return QUrl::fromLocalFile(path);
}

bool TranscriptScreen::fileExtensionIsAudio(const QString& extension)
{
    return kAudioExtensions.contains(extension.toLower());
}

bool TranscriptScreen::fileURLIsAudio(const QUrl& url) { return fileExtensionIsAudio(QFileInfo(url.toLocalFile()).suffix()); }

std::optional<QDateTime> TranscriptScreen::getModificationDateForMediaFile(QVMediaFile& mediaFile)
{
    const QFileInfo info(mediaFile.url.toLocalFile());
    if (!info.exists())
        return std::nullopt;
    return info.lastModified();
}

void TranscriptScreen::currentFileUserOnlineAdd()
{
    if (hooks_.currentFileUserOnlineAdd)
        hooks_.currentFileUserOnlineAdd();
}

void TranscriptScreen::currentFileUserOnlineRemove()
{
    if (hooks_.currentFileUserOnlineRemove)
        hooks_.currentFileUserOnlineRemove();
}

void TranscriptScreen::loadFileAttemptTransition()
{
    if (hooks_.loadFileAttemptTransition)
        hooks_.loadFileAttemptTransition();
}

void TranscriptScreen::setTranscriptToolbarHeight(double points)
{
    if (hooks_.setTranscriptToolbarHeight)
        hooks_.setTranscriptToolbarHeight(points);
}

}  // namespace qv::shell
