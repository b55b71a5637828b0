#include "app/shell/TranscriptScreen.h"

#include "fcpx/QVCreateAssetFromComplexClip.h"
#include "intake/audio/QVAudioLayout.h"
#include "intake/audio/QVAudioMix.h"
#include "intake/audio/QVMetadataTimecode.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/media/Composition.h"

#include <QFileDialog>
#include <QFileInfo>

namespace qv::shell {

namespace {

// The relink panel: audio and movie files, one file, as a sheet on the panel's window.
void chooseMediaFile(QWidget* parent, const QString& title, const QString& message, const QString& startPath,
                     std::function<void(std::optional<QUrl>)> done)
{
    auto* dialog = new QFileDialog(parent ? parent->window() : nullptr, title, QFileInfo(startPath).absolutePath());
    dialog->setObjectName(QStringLiteral("relinkPanel"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(QStringLiteral("Audio and movie files (*.wav *.wave *.bwf *.aif *.aiff *.mp3 *.m4a *.aac *.flac "
                                         "*.caf *.mov *.mp4 *.m4v *.mxf *.avi *.mkv);;All files (*)"));
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Open"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (!message.isEmpty())
        dialog->setToolTip(message);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList files = dialog->selectedFiles();
        done(result == QDialog::Accepted && !files.isEmpty() ? std::optional<QUrl>(QUrl::fromLocalFile(files.front()))
                                                             : std::nullopt);
    });
    dialog->open();
}

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
      speakersPanel_(std::make_unique<speakers::SpeakersPanelView>(speakers_)),
      waveformManager_(main, preferences, {}, [](QVMediaFile& mediaFile) { return ::getModificationDateForMediaFile(mediaFile); })
{
    QVAudioConfigurationViewController::Services audio;
    audio.waveformManager = &waveformManager_;
    audio.waveformGenerationQueue = &waveformQueue_;
    audio.alerts = &alerts;
    audio.preferences = &preferences;
    audio.chooseMediaFile = [this](const QString& title, const QString& message, const QString& startPath,
                                   std::function<void(std::optional<QUrl>)> done) {
        chooseMediaFile(audioConfiguration_->view(), title, message, startPath, std::move(done));
    };
    audioConfiguration_ = std::make_unique<QVAudioConfigurationViewController>(ad, main, std::move(audio), false);
    audioConfiguration_->setIsShowing(true);
    setUp_.setMetadataTimecode([](QVFile& file) { return ::getBWFMP3TimecodeForFilePending(nullptr, &file); });
    // The open file plays the channels its configuration enables; a file whose tracks are not
    // known yet plays all of them.
    setUp_.setAudioMixBuilder([this](const QVFile& file) -> std::shared_ptr<AudioMixStage> {
        const std::shared_ptr<QVFile> open = ad_.currentFile;
        if (!open || open.get() != &file)
            return nullptr;
        if (!open->audioMix)
            open->audioMix = createAudioMixForMediaFiles(open->mediaFiles);
        return open->audioMix->mixers().empty() ? nullptr : open->audioMix->stage();
    });
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
    // A centred word sits half the window's height down the transcript, less the window's chrome.
    highlighter_.setWindowHeight([this] {
        const QWidget* window = table_.tableView().window();
        return window != &table_.tableView() ? double(window->frameGeometry().height()) : -1.0;
    });
    highlighter_.setTimeDisplayChanged([this](const QString& text) {
        if (hooks_.showTime)
            hooks_.showTime(text);
    });
    navigation_.setButtonStatesChanged([this](const transcript::StepNavigation::ButtonStates& states) {
        if (hooks_.showNavigationStates)
            hooks_.showNavigationStates(states.inToolbarOrder());
    });
    search::QVSearchViewController::Services searchServices;
    searchServices.highlightWordAtTime = [this](std::int64_t milliseconds) { highlighter_.highlightWordAtTime(milliseconds, true, true, true); };
    searchServices.stopSelectionPlayback = [this] { transport_.stopSelectionPlaybackAndHidePlayerLayer(true, false); };
    searchServices.resetFocus = [this] { table_.resetFocus(); };
    search_ = std::make_unique<search::QVSearchViewController>(ad_, main_, std::move(searchServices));
    ad_.viewServices = &view_;
    ad_.speakerServices = &speakers_;
    ad_.searchServices = search_.get();
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
                                                                   const MediaTime& duration)
{
    QVCreateAssetFromComplexClip::Services services;
    services.checkAccessForMediaFile = [this](QVMediaFile& mediaFile) { checkAccessForMediaFile(mediaFile); };
    services.openAsset = [this](const QUrl& url) { return createURLAsset(url); };
    services.createImageForAsset = hooks_.createImageForAsset;
    services.placeholderMovie = [](const QString& name) -> std::optional<std::string> {
        const std::optional<std::filesystem::path> movie = pathForResource(name.toStdString(), "mov");
        return movie ? std::optional<std::string>(movie->string()) : std::nullopt;
    };
    return QVCreateAssetFromComplexClip(std::move(services)).createAssetWithMediaFiles(mediaFiles, duration);
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

bool TranscriptScreen::fileExtensionIsAudio(const QString& extension) { return ::fileExtensionIsAudio(extension); }

bool TranscriptScreen::fileURLIsAudio(const QUrl& url) { return ::fileURLIsAudio(url, nullptr); }

std::optional<QDateTime> TranscriptScreen::getModificationDateForMediaFile(QVMediaFile& mediaFile)
{
    return ::getModificationDateForMediaFile(mediaFile);
}

void TranscriptScreen::getBWFMP3TimecodeForFilePending(const std::shared_ptr<QVFilePending>& pending, QVFile& file)
{
    ::getBWFMP3TimecodeForFilePending(pending.get(), &file);
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
