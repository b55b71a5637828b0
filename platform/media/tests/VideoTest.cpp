#include "platform/media/ImageGenerator.h"
#include "platform/media/Player.h"
#include "platform/media/SilentAudioOutput.h"
#include "platform/media/VideoFrameReader.h"
#include "platform/media/VideoView.h"

#include "TestMedia.h"

#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include <chrono>
#include <functional>
#include <limits>
#include <pthread.h>
#include <sched.h>
#include <thread>

namespace qv {
namespace {

using test::inspected;
using test::testMedia;

constexpr double kFrame = 1001.0 / 30000;  // video.mov's frame duration

// A time of whole milliseconds given in seconds, as the tests write it.
MediaTime exactly(double seconds) { return MediaTime(std::llround(seconds * 1000), 1000); }

double meanLevel(const VideoImage& image)
{
    double sum = 0;
    for (auto byte : image.rgb)
        sum += byte;
    return image.rgb.empty() ? 0 : sum / static_cast<double>(image.rgb.size());
}

// The still that the image generator takes at `seconds`, as the reference picture.
double referenceLevel(const Asset& asset, double seconds)
{
    auto still = ImageGenerator(asset).copyImage(MediaTime(std::llround(seconds * 30000), 30000));
    return still ? meanLevel(still.value()) : -1;
}

TEST(VideoFrameReader, GivesThePictureShowingAtTheStartThenEachInTurnAndBlackInGaps)
{
    Asset video = inspected(testMedia("video.mov"));
    auto ms = [](std::int64_t milliseconds) { return MediaTime(milliseconds, 1000); };
    Composition composition = test::compositionOf("video.mov", MediaType::Video,
                                                  {{{ms(0), ms(500)}, ms(0)}, {{ms(1000), ms(500)}, ms(1000)}});

    auto reader = VideoFrameReader::make(composition, composition.tracks().front().trackID(), exactly(0.25));
    ASSERT_TRUE(reader);
    std::vector<VideoFrame> frames;
    while (auto frame = reader.value()->next())
        frames.push_back(std::move(*frame));
    ASSERT_FALSE(reader.value()->error());
    ASSERT_GT(frames.size(), 20u);
    EXPECT_EQ(frames.front().time, 0.25);
    EXPECT_NEAR(meanLevel(frames.front().image), referenceLevel(video, 0.25), 3);
    EXPECT_NEAR(frames.front().pixelAspect, 32.0 / 27, 1e-9);
    for (std::size_t i = 1; i < frames.size(); ++i)
        ASSERT_GT(frames[i].time, frames[i - 1].time);
    // The gap from 0.5 s to 1 s is one black picture; then the source's second second follows.
    auto black = std::find_if(frames.begin(), frames.end(), [](const VideoFrame& f) { return f.image.rgb.empty(); });
    ASSERT_NE(black, frames.end());
    EXPECT_DOUBLE_EQ(black->time, 0.5);
    ASSERT_NE(black + 1, frames.end());
    EXPECT_NEAR((black + 1)->time, 1.0, kFrame);
    EXPECT_NEAR(meanLevel((black + 1)->image), referenceLevel(video, 1.0), 3);
    EXPECT_LT(frames.back().time, 1.5);
}

// groups.mov's pictures read from the start without a seek: what every exact landing must match.
struct Reference {
    Composition composition;
    int trackID = 0;
    std::vector<VideoFrame> pictures;

    Reference()
        : composition(Composition::fromAsset(inspected(testMedia("groups.mov"))))
        , trackID(composition.tracksWithMediaType(MediaType::Video).front()->trackID())
    {
        auto reader = VideoFrameReader::make(composition, trackID, exactly(0));
        while (auto picture = reader.value()->next())
            pictures.push_back(std::move(*picture));
    }
    // The index of the picture showing at `seconds`.
    std::size_t at(double seconds) const
    {
        std::size_t i = 0;
        while (i + 1 < pictures.size() && pictures[i + 1].time <= seconds)
            ++i;
        return i;
    }
};

const Reference& reference()
{
    static const Reference made;
    return made;
}

// Reads `count` pictures and checks that they are the reference's from the one showing at
// `seconds` on, the first at `seconds` itself.
void expectLandsExactly(VideoFrameReader& reader, double seconds, std::size_t count, const std::string& step)
{
    const auto& pictures = reference().pictures;
    std::size_t index = reference().at(seconds);
    for (std::size_t n = 0; n < count && index + n < pictures.size(); ++n) {
        auto picture = reader.next();
        ASSERT_TRUE(picture) << step << ", picture " << n;
        EXPECT_EQ(picture->time, n == 0 ? seconds : pictures[index + n].time) << step << ", picture " << n;
        EXPECT_TRUE(picture->image.rgb == pictures[index + n].image.rgb) << step << ", picture " << n;
    }
}

// Runs `work` both as it comes and on a thread held to one processor. A decoder made there
// decodes on that thread alone and gives each picture out as soon as the pictures' order allows,
// before the packets that its other threads would otherwise be decoding have been read: a
// landing must not take a picture as the one showing before it can know that no later one does.
void onEveryDecoderThreading(const std::function<void()>& work)
{
    work();
    std::thread held([&] {
        cpu_set_t allowed;
        CPU_ZERO(&allowed);
        pthread_getaffinity_np(pthread_self(), sizeof allowed, &allowed);
        int first = 0;
        while (!CPU_ISSET(first, &allowed))
            ++first;
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(first, &one);
        ASSERT_EQ(pthread_setaffinity_np(pthread_self(), sizeof one, &one), 0);
        SCOPED_TRACE("on one processor");
        work();
    });
    held.join();
}

TEST(VideoFrameReader, MovedAboutItLandsOnThePictureAReadFromTheStartShows)
{
    const auto& pictures = reference().pictures;
    ASSERT_EQ(pictures.size(), 100u);
    for (std::size_t i = 1; i < pictures.size(); ++i)
        ASSERT_FALSE(pictures[i].image.rgb == pictures[i - 1].image.rgb) << "pictures that all differ, " << i;

    using P = VideoFrameReader::Positioning;
    struct Step {
        double seconds;
        P positioning;
    };
    // Pictures every 0.04 s, key pictures at 0 and 2 s. Each step reads three pictures.
    const Step steps[] = {
        {1.3, P::Reopened},    // decoded from the key picture at 0, skipping what 1.3 cannot show
        {1.7, P::DecodedOn},   // later in the same group
        {1.73, P::Kept},       // among the pictures just given out
        {1.7, P::Kept},        // the first of them, at the time it was first asked for
        {0.5, P::Sought},      // before them: from the key picture again
        {2.0, P::Sought},      // on the next key picture
        {2.01, P::Kept},
        {3.99, P::DecodedOn},  // the last picture
        {1.0, P::Sought},
    };
    onEveryDecoderThreading([&] {
        auto reader = VideoFrameReader::make(reference().composition, reference().trackID, exactly(steps[0].seconds));
        ASSERT_TRUE(reader);
        for (const Step& step : steps) {
            if (&step != &steps[0])
                reader.value()->seek(exactly(step.seconds));
            std::string name = "at " + std::to_string(step.seconds);
            EXPECT_EQ(reader.value()->lastPositioning(), step.positioning) << name;
            expectLandsExactly(*reader.value(), step.seconds, 3, name);
        }

        // Past the end nothing shows; from there, the start is read afresh.
        reader.value()->seek(exactly(10));
        EXPECT_FALSE(reader.value()->next());
        EXPECT_FALSE(reader.value()->error());
        reader.value()->seek(exactly(0));
        EXPECT_EQ(reader.value()->lastPositioning(), P::Reopened);
        expectLandsExactly(*reader.value(), 0, 3, "at 0 after the end");
    });
}

TEST(VideoFrameReader, ASeekAfterTheFileWasReplacedShowsTheNewFile)
{
    // The reader keeps its file open across seeks; one renamed into its place is read from then
    // on, even where the old file's decoder could have decoded on.
    std::string path = test::scratchFolder() + "/media.mov";
    test::replaceFile(testMedia("groups.mov"), path);
    Composition original = Composition::fromAsset(inspected(path));
    auto reader = VideoFrameReader::make(original, reference().trackID, exactly(1.0));
    ASSERT_TRUE(reader);
    expectLandsExactly(*reader.value(), 1.0, 1, "before the replace");

    test::replaceFile(testMedia("groups-mirrored.mov"), path);
    auto fresh = VideoFrameReader::make(Composition::fromAsset(inspected(path)), reference().trackID, exactly(1.5));
    ASSERT_TRUE(fresh);
    auto expected = fresh.value()->next();
    ASSERT_TRUE(expected);
    ASSERT_FALSE(expected->image.rgb == reference().pictures[reference().at(1.5)].image.rgb);

    reader.value()->seek(exactly(1.5));
    EXPECT_EQ(reader.value()->lastPositioning(), VideoFrameReader::Positioning::Reopened);
    auto picture = reader.value()->next();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->time, 1.5);
    EXPECT_TRUE(picture->image.rgb == expected->image.rgb);
}

TEST(VideoFrameReader, InterruptedOnItsWayItStillLandsExactlyWhereverItIsSentNext)
{
    // On its way to 1.9 s the reader skips pictures that nothing refers to and that show before
    // one it has read: moved back to 1 s, it must not decode on past what it skipped. Stopped
    // after it read past 1.9 s but before the picture showing there came out (51, 54 packets),
    // it must not take that picture for 1.95 s, where a picture it read already shows.
    onEveryDecoderThreading([] {
        for (int packets : {8, 20, 24, 26, 28, 32, 40, 51, 54}) {
            for (double next : {1.0, 1.95}) {
                auto reader = VideoFrameReader::make(reference().composition, reference().trackID, exactly(1.9));
                ASSERT_TRUE(reader);
                int read = 0;
                auto landed = reader.value()->next([&] { return ++read > packets; });
                // The picture showing at 1.9 s is the 48th; a decoder of one thread may give it
                // out as soon as it has been read.
                if (packets < 48)
                    EXPECT_FALSE(landed);
                EXPECT_FALSE(reader.value()->error());
                reader.value()->seek(exactly(next));
                expectLandsExactly(*reader.value(), next, 2,
                                   "after " + std::to_string(packets) + " packets, at " + std::to_string(next));
            }
        }
    });
}

TEST(VideoFrameReader, AStartShownAloneComesOutOnceReadAndThePicturesAfterItFollowExactly)
{
    // Shown alone, the picture at 1.9 s comes out once the packets up to it are read (51, the
    // last the first decoded after 1.9 s), not after those the decoder's threads and its
    // reordering would take on behind it.
    onEveryDecoderThreading([] {
        auto reader = VideoFrameReader::make(reference().composition, reference().trackID, exactly(0));
        ASSERT_TRUE(reader);
        reader.value()->seek(exactly(1.9), 0, 0, true);
        int read = 0;
        auto landed = reader.value()->next([&] { return ++read > 51; });
        ASSERT_TRUE(landed);
        EXPECT_EQ(landed->time, 1.9);
        EXPECT_TRUE(landed->image.rgb == reference().pictures[reference().at(1.9)].image.rgb);
    });

    // The pictures after a start shown alone are decoded again from the key picture: they follow
    // it exactly, to the end of the file. Moved elsewhere first, or stopped on its way, it lands
    // exactly there.
    struct Step {
        double seconds;
        std::size_t pictures;  // read from there
        double next;           // where it is sent then
    };
    const Step steps[] = {
        {0.0, 60, 1.3}, {1.3, 12, 3.0}, {1.96, 6, 1.0},  {2.0, 3, 2.5}, {3.99, 1, 3.5},
        {1.3, 1, 1.7},  {1.7, 1, 1.72}, {1.72, 1, 1.6}, {3.5, 2, 0.5},
    };
    onEveryDecoderThreading([&] {
        auto reader = VideoFrameReader::make(reference().composition, reference().trackID, exactly(0));
        ASSERT_TRUE(reader);
        for (const Step& step : steps) {
            std::string name = "alone at " + std::to_string(step.seconds);
            reader.value()->seek(exactly(step.seconds), 0, 0, true);
            expectLandsExactly(*reader.value(), step.seconds, step.pictures, name);
            reader.value()->seek(exactly(step.next));
            expectLandsExactly(*reader.value(), step.next, 3, name + ", then at " + std::to_string(step.next));
        }
        for (int packets : {3, 30, 49, 50, 51, 60}) {
            reader.value()->seek(exactly(1.3), 0, 0, true);
            int read = 0;
            reader.value()->next([&] { return ++read > packets; });
            reader.value()->seek(exactly(1.32), 0, 0, true);
            expectLandsExactly(*reader.value(), 1.32, 4, "at 1.32 after " + std::to_string(packets) + " packets alone");
        }
        reader.value()->seek(exactly(3.99), 0, 0, true);
        ASSERT_TRUE(reader.value()->next());
        EXPECT_FALSE(reader.value()->next());
        EXPECT_FALSE(reader.value()->error());
    });
}

TEST(VideoFrameReader, ATolerantSeekLandsOnTheNearestKeyPictureWithinItsTolerances)
{
    // Key pictures at 0 and 2 s; the one at 2 s is decoded 80 ms before it shows (B-frames), and
    // is judged by the time it shows. Where none lies within the tolerances the seek is exact.
    constexpr double kAny = std::numeric_limits<double>::infinity();
    struct Case {
        double seconds, before, after, lands;
    };
    const Case cases[] = {
        {1.7, kAny, kAny, 2.0}, {0.9, kAny, kAny, 0.0}, {1.7, 2.0, 0.2, 0.0},
        {1.7, 0.1, 0.1, 1.7},   {2.3, 0.1, kAny, 2.3},  {2.04, 0.5, 0.0, 2.0},
        {0.98, kAny, kAny, 0.0}, {1.97, 0.0, 0.05, 2.0},
    };
    auto moved = VideoFrameReader::make(reference().composition, reference().trackID, exactly(3.0));
    ASSERT_TRUE(moved);
    ASSERT_TRUE(moved.value()->next());
    for (const Case& c : cases) {
        std::string name = "at " + std::to_string(c.seconds) + " -" + std::to_string(c.before) + " +"
                         + std::to_string(c.after);
        auto fresh = VideoFrameReader::make(reference().composition, reference().trackID, exactly(0));
        ASSERT_TRUE(fresh);
        for (VideoFrameReader* reader : {fresh.value().get(), moved.value().get()}) {
            reader->seek(exactly(c.seconds), c.before, c.after);
            expectLandsExactly(*reader, c.lands, 3, name);
        }
    }

    // Sent elsewhere before it landed (or just after), it lands exactly there.
    for (int packets : {1, 5, 30}) {
        moved.value()->seek(exactly(1.7), kAny, kAny);
        int read = 0;
        moved.value()->next([&] { return ++read > packets; });
        moved.value()->seek(exactly(1.0));
        expectLandsExactly(*moved.value(), 1.0, 3, "at 1 after " + std::to_string(packets) + " packets of a landing");
    }
}

TEST(Player, ATolerantSeekLandsOnAKeyPictureAndTheSoundStartsThere)
{
    ManualDispatcher main;
    auto silent = std::make_unique<SilentAudioOutput>(main);
    SilentAudioOutput* output = silent.get();
    std::vector<float> heard;
    output->setListener([&](const float* frames, int count, int channels) {
        for (int f = 0; f < count; ++f)
            heard.push_back(frames[f * channels]);
    });
    Player player(main, std::move(silent));
    player.replaceCurrentItem(PlayerItem(inspected(testMedia("groups-sawtooth.mov"))));
    struct Case {
        MediaTime time, before, after;
        double lands;
    };
    const Case cases[] = {
        {MediaTime(1700, 1000), MediaTime::positiveInfinity(), MediaTime::positiveInfinity(), 2.0},
        {MediaTime(1700, 1000), MediaTime(100, 1000), MediaTime(100, 1000), 1.7},
        {MediaTime(500, 1000), MediaTime(600, 1000), MediaTime::zero(), 0.0},
    };
    for (const Case& c : cases) {
        std::optional<bool> finished;
        player.seek(c.time, c.before, c.after, [&](bool done) { finished = done; });
        ASSERT_TRUE(main.runUntil([&] { return finished.has_value(); })) << c.lands;
        ASSERT_TRUE(*finished) << c.lands;
        EXPECT_EQ(player.currentTime().seconds(), c.lands);
        auto picture = player.videoSurface()->frameAt(c.lands);
        ASSERT_TRUE(picture) << c.lands;
        EXPECT_EQ(picture->time, c.lands);

        // The sawtooth tells the sample heard: the one at the time landed on.
        heard.clear();
        player.play();
        ASSERT_TRUE(main.runUntil([&] { return output->isStarted(); }));
        main.advance(0.01);
        player.pause();
        ASSERT_GE(heard.size(), 100u);
        auto first = static_cast<std::int64_t>(std::llround(c.lands * 48000));
        for (std::size_t i = 0; i < 100; ++i)
            ASSERT_NEAR(heard[i], static_cast<float>((first + static_cast<std::int64_t>(i)) % 1000) / 1000, 1e-4f)
                << "landed at " << c.lands << ", sample " << i;
    }
}

TEST(Player, APictureStartingBetweenTwoSamplesStillShowsOncePlayedAndPaused)
{
    // The 14th picture, a key picture, starts at 22422.4 samples. Landed on by a tolerant seek
    // or sought exactly, it must still show once played and paused at once: the pictures start
    // again from where the sound stands, which must not be the sample before it.
    ManualDispatcher main;
    auto silent = std::make_unique<SilentAudioOutput>(main);
    SilentAudioOutput* output = silent.get();
    Player player(main, std::move(silent));
    player.replaceCurrentItem(PlayerItem(inspected(testMedia("keys7.mov"))));
    const MediaTime fourteenth(14 * 1001, 30000);
    struct Case {
        MediaTime time, tolerance;
    };
    for (const Case& c : {Case{exactly(0.5), MediaTime::positiveInfinity()}, Case{fourteenth, MediaTime::zero()}}) {
        const std::string name = c.tolerance.isNumeric() ? "sought exactly" : "landed on";
        std::optional<bool> finished;
        player.seek(c.time, c.tolerance, c.tolerance, [&](bool done) { finished = done; });
        ASSERT_TRUE(main.runUntil([&] { return finished.has_value(); })) << name;
        ASSERT_TRUE(*finished) << name;
        auto shown = player.videoSurface()->frameAt(player.currentTime().seconds());
        ASSERT_TRUE(shown) << name;
        EXPECT_EQ(shown->time, fourteenth.seconds()) << name;

        player.play();
        ASSERT_TRUE(main.runUntil([&] { return output->isStarted(); })) << name;
        player.pause();
        std::shared_ptr<const VideoFrame> paused;
        ASSERT_TRUE(main.runUntil([&] {
            return (paused = player.videoSurface()->frameAt(player.currentTime().seconds())) != nullptr;
        })) << name;
        EXPECT_TRUE(paused->image.rgb == shown->image.rgb) << name;
    }
}

TEST(Player, EveryExactSeekShowsThePictureAtItsTimeWhetherDecodedOnKeptOrSoughtAgain)
{
    ManualDispatcher main;
    Player player(main, std::make_unique<SilentAudioOutput>(main));
    player.replaceCurrentItem(PlayerItem(reference().composition));
    for (double seconds : {1.5, 1.8, 1.6, 0.3, 3.2, 2.0, 3.96}) {
        // A seek overtaken at once by the one that counts.
        std::optional<bool> overtaken, finished;
        player.seek(exactly(3.0), MediaTime::zero(), MediaTime::zero(), [&](bool done) { overtaken = done; });
        player.seek(exactly(seconds), MediaTime::zero(), MediaTime::zero(), [&](bool done) { finished = done; });
        ASSERT_TRUE(main.runUntil([&] { return finished.has_value(); })) << seconds;
        EXPECT_EQ(overtaken, false);
        ASSERT_TRUE(*finished) << seconds;
        EXPECT_EQ(player.currentTime().seconds(), seconds);
        auto picture = player.videoSurface()->frameAt(player.currentTime().seconds());
        ASSERT_TRUE(picture) << seconds;
        EXPECT_EQ(picture->time, seconds);
        EXPECT_TRUE(picture->image.rgb == reference().pictures[reference().at(seconds)].image.rgb) << seconds;
    }

    // Paused while playing, it shows the picture at the time it stopped.
    player.seek(exactly(1.0));
    player.play();
    main.advance(0.3);
    player.pause();
    double now = player.currentTime().seconds();
    ASSERT_TRUE(main.runUntil([&] { return player.videoSurface()->frameAt(now) != nullptr; }));
    auto paused = player.videoSurface()->frameAt(now);
    EXPECT_EQ(paused->time, now);
    EXPECT_TRUE(paused->image.rgb == reference().pictures[reference().at(now)].image.rgb) << now;
}

TEST(Player, ShowsThePictureAtTheTimeItSeeksToAndFollowsPlayback)
{
    static int argc = 1;
    static char name[] = "media-tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
    ManualDispatcher main;
    Player player(main, std::make_unique<SilentAudioOutput>(main));
    Asset video = inspected(testMedia("video.mov"));
    player.replaceCurrentItem(PlayerItem(video));
    std::optional<bool> finished;
    player.seek(MediaTime(1500, 1000), MediaTime::zero(), MediaTime::zero(), [&](bool done) { finished = done; });
    ASSERT_TRUE(main.runUntil([&] { return finished.has_value(); }));
    ASSERT_TRUE(*finished);
    auto picture = player.videoSurface()->frameAt(player.currentTime().seconds());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->time, 1.5);
    EXPECT_NEAR(meanLevel(picture->image), referenceLevel(video, 1.5), 3);

    VideoView view;
    view.resize(200, 200);
    view.setPlayer(&player);
    QImage shown = view.grab().toImage();
    shown.save("video-view.png");
    // 720 x 480 pixels of 32:27 show 16:9: black above and below in a square view.
    EXPECT_EQ(shown.pixelColor(100, 2), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(100, 197), QColor(Qt::black));
    EXPECT_GT(qGray(shown.pixel(100, 100)), 100);
    EXPECT_GT(qGray(shown.pixel(100, 50)), 100);

    player.play();  // ready since the seek: it starts at once
    main.advance(0.3);
    double now = player.currentTime().seconds();
    // Playing, the decoder goes on past the picture it rested at when the seek ended. It runs
    // on a thread of its own, which tells nobody when it queues a picture.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (player.videoSurface()->frameAt(now)->time <= 1.5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    picture = player.videoSurface()->frameAt(now);
    ASSERT_TRUE(picture);
    EXPECT_GT(picture->time, 1.5);
    EXPECT_LE(picture->time, now);
}

TEST(VideoSurface, ShowsTheLatestPictureStartedAndHoldsTheDecoderAFewAhead)
{
    VideoSurface surface;
    EXPECT_FALSE(surface.frameAt(0));
    auto never = [] { return false; };
    for (std::size_t i = 0; i < VideoSurface::kAhead; ++i)
        ASSERT_TRUE(surface.push({static_cast<double>(i) / 10, 1.0, {}}, never));
    // Full: a push waits until told to stop.
    EXPECT_FALSE(surface.push({1.0, 1.0, {}}, [] { return true; }));
    EXPECT_EQ(surface.frameAt(-1)->time, 0.0);  // before the first: the first
    EXPECT_EQ(surface.frameAt(0.35)->time, 0.3);
    EXPECT_EQ(surface.frameAt(0.2)->time, 0.3);  // what was shown stays until a later one
    EXPECT_TRUE(surface.push({0.8, 1.0, {}}, never));
    EXPECT_EQ(surface.frameAt(5)->time, 0.8);
    surface.reset();
    EXPECT_FALSE(surface.frameAt(5));

    // Held to one picture (as while paused), the decoder waits before decoding a second; more
    // room lets it on.
    surface.setAhead(1);
    ASSERT_TRUE(surface.waitForRoom(never));
    ASSERT_TRUE(surface.push({0.0, 1.0, {}}, never));
    EXPECT_FALSE(surface.waitForRoom([] { return true; }));
    surface.setAhead(VideoSurface::kAhead);
    EXPECT_TRUE(surface.waitForRoom(never));
}

}  // namespace
}  // namespace qv
