// A transcript whose media cannot be found on this computer still opens: the program plays the
// missing-media movie over the file's whole length in their place, marks the file and shows the
// missing-media button; every word can be reached with a click.
#include "app/shell/ApplicationShell.h"
#include "model/QVFile.h"
#include "model/QVMediaFile.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"
#include "transcript-view/QVTextView.h"
#include "platform/media/Composition.h"
#include "platform/media/VideoView.h"
#include "platform/rtdb/PushIdGenerator.h"
#include "services/hub/tests/HubTestSupport.h"
#include "services/transcriber/TranscriptRecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "platform/foundation/QtDispatcher.h"

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

// Runs Qt's events until `done` holds; false after 20 s.
bool waitFor(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 20'000)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

TEST(MissingMedia, AFileWhoseMediaAreGoneOpensAndPlaysThePlaceholderForTheirWholeLength)
{
    QTemporaryDir folder;
    hub::HubServer::Options options;
    options.dataFolder = (folder.path() + "/service").toStdString();
    options.hashIterations = 1000;
    hub::testing::RunningService service(options);
    QtDispatcher queue;
    Preferences preferences(folder.path() + "/config");
    ApplicationShell shell(queue, preferences,
                           LaunchConfiguration::fromArguments(
                               {"quorvantelle", "--service", QStringLiteral("http://127.0.0.1:%1/").arg(service.port())}));
    shell.applicationDidFinishLaunching();
    ASSERT_TRUE(waitFor([&] { return shell.auth() != nullptr; }));
    AppDelegate& ad = shell.ad();
    shell.auth()->createUser("ann@example.com", "Secret-password-1", {});
    ASSERT_TRUE(waitFor([&] { return ad.isLoggedIn && ad.currentMode == 1 && ad.userFilesStillToLoad == 0; }));

    // A video sent from another computer: its media path means nothing here. Its record is
    // listed before the worker has measured it; the duration comes with the transcript.
    const std::string uid = ad.currentUser->uid;
    const std::string uuid = "MISSINGMEDIA00000000000000000001";
    service.serviceWrite("files/" + uuid,
                         DatabaseValue::object({{"owner", uid},
                                                {"name", "Interview elsewhere"},
                                                {"status", 20},
                                                {"created", 1'765'000'000'000},
                                                {"file_type", 1},
                                                {"language", "en-US"},
                                                {"media_files", DatabaseValue::object({{"file_00", DatabaseValue::object({
                                                    {"file_path", "/Volumes/Elsewhere/interview.mov"},
                                                    {"has_video", true}})}})}}));
    service.serviceWrite("users/" + uid + "/files/" + uuid, DatabaseValue(true));
    ASSERT_TRUE(waitFor([&] { return shell.filesList().filesSearchResults().size() == 1; }));
    PushIdGenerator ids;
    service.serviceWrite("transcripts/" + uuid,
                         transcriber::transcriptValue({{"hello", 500, 900}, {"again", 1000, 1600}, {"later", 6500, 6900}},
                                                      ids, 1'765'000'100'000));
    service.run([&](hub::HubServer& server) {
        server.serviceUpdate("files/" + uuid, {{"duration", 7250}, {"status", 40}});
    });
    ASSERT_TRUE(waitFor([&] { return shell.filesList().filesSearchResults().front()->duration == 7250; }));

    shell.filesList().selectRow(0);
    shell.openSelectedFile();
    ASSERT_TRUE(waitFor([&] { return ad.currentMode == 2 && shell.window().tabView()->currentIndex() == 2; }));
    const std::shared_ptr<QVFile> file = ad.currentFile;
    ASSERT_TRUE(file);
    EXPECT_EQ(ad.words.size(), 3u);
    EXPECT_TRUE(file->hasMissingMediaFiles);
    ASSERT_TRUE(file->asset);
    ASSERT_TRUE(file->asset->composition());
    EXPECT_TRUE(file->asset->isPlayable());

    TranscriptScreen& transcript = shell.transcriptScreen();
    Player& player = transcript.mainPlayer().player();
    ASSERT_TRUE(waitFor([&] { return player.status() != Player::Status::Unknown; }));
    ASSERT_EQ(player.status(), Player::Status::ReadyToPlay);
    EXPECT_TRUE(ad.isReadyToPlay);
    EXPECT_EQ(player.currentItem()->duration(), MediaTime(file->duration, 1000));
    EXPECT_TRUE(player.currentItem()->composition().tracksWithMediaType(MediaType::Audio).empty());
    ASSERT_TRUE(waitFor([&] { return !shell.window().missingMediaButton()->isHidden(); }));

    // The warning about the missing file comes once, and playback runs on the placeholder.
    ASSERT_TRUE(waitFor([&] { return shell.window().findChild<QMessageBox*>() != nullptr; }));
    shell.window().findChild<QMessageBox*>()->accept();
    transcript.view().playPauseToggleScrollToGrid(false);
    ASSERT_TRUE(waitFor([&] { return transcript.mainPlayer().currentMilliseconds() > 600; }));
    transcript.view().stopPlayback();
    EXPECT_TRUE(waitFor([&] { return transcript.mainPlayer().rate() == 0; }));

    // Past the movie's own three seconds the stretched picture still shows.
    std::optional<bool> landed;
    player.seek(MediaTime(6000, 1000), MediaTime::zero(), MediaTime::zero(), [&](bool done) { landed = done; });
    ASSERT_TRUE(waitFor([&] { return landed.has_value(); }));
    ASSERT_TRUE(*landed);
    ASSERT_TRUE(waitFor([&] { return player.videoSurface()->frameAt(6.0) != nullptr; }));
    const auto picture = player.videoSurface()->frameAt(6.0);
    EXPECT_EQ(picture->image.width, 640);
    EXPECT_EQ(picture->image.height, 360);
    VideoView view;
    view.resize(640, 360);
    view.setPlayer(&player);
    const QImage shown = view.grab().toImage();
    shown.save(QDir(QCoreApplication::applicationDirPath()).filePath("missing-media-viewer.png"));
    // The banner across the middle is darker than the stripes above it.
    EXPECT_LT(qGray(shown.pixel(20, 180)), qGray(shown.pixel(20, 60)));
    view.setPlayer(nullptr);

    // A click on the last word selects it and plays from there, far past the movie's own length.
    const std::shared_ptr<QVWord> later = ad.words.last();
    ASSERT_EQ(later->name(), "later");
    ASSERT_TRUE(waitFor([&] { return later->speakerRange && later->speakerRange->textView; }));
    QVTextView* row = later->speakerRange->textView;
    const QRectF glyphs = row->boundingRectForRange({later->characterStart, later->name().size()});
    QTest::mouseClick(row, Qt::LeftButton, {}, glyphs.center().toPoint());
    ASSERT_TRUE(waitFor([&] { return ad.currentWord == later && transcript.mainPlayer().currentMilliseconds() >= 6400; }));
    transcript.view().playPauseToggleScrollToGrid(false);
    ASSERT_TRUE(waitFor([&] { return transcript.mainPlayer().currentMilliseconds() > 6600; }));
    transcript.view().stopPlayback();
    EXPECT_EQ(ad.currentWord, later);
}

}  // namespace
}  // namespace qv::shell
