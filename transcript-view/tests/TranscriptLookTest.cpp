#include "transcript-view/QVScrubBar.h"
#include "transcript-view/QVScrubWaveforms.h"
#include "transcript-view/tests/TranscriptFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>

namespace qv::transcript::testing {
namespace {

class TranscriptLookTest : public TranscriptFixture {};

// A few hundred words of three speakers, mid-playback, rendered to a picture beside the test
// binary for a look; the current word must come out in the accent colour.
TEST_F(TranscriptLookTest, MidPlaybackPicture)
{
    const QStringList sentence = QString("so the first thing we did was to look at the footage again and then we "
                                         "decided that the interview should open the film, which surprised everyone")
                                     .split(' ');
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        QString name = sentence.at(i % sentence.size());
        if (i % sentence.size() == 0)
            name[0] = name[0].toUpper();
        if (i % sentence.size() == sentence.size() - 1)
            name += '.';
        names.push_back(name.toStdString());
    }
    std::vector<ScriptWord> script;
    for (int i = 0; i < 300; ++i)
        script.push_back({names[std::size_t(i)].c_str(), i * 350, i * 350 + 300, i % 45 == 0 ? i / 45 % 3 : -1,
                          i % 45 == 22});
    load(script);
    for (std::size_t i = 30; i < 36; ++i)
        word(i)->favorite = true;
    table.reloadTranscriptTable("look");
    main.drain();
    speakers.buildSpeakersList();
    main.advance(1);

    player.playing = 1;
    highlighter.highlightWordAtTime(0, true, false, true);
    for (std::int64_t t = 0; t <= 80 * 350 + 100; t += 20) {
        tick(t);
        main.advance(0.02);
    }
    main.advance(1);
    ASSERT_EQ(ad.currentWord, word(80));

    const QImage image = table.tableView().grab().toImage();
    // For the look: the scrub bar under the player and a waveform strip's playhead, on the dark
    // ground they sit on, above the transcript, all at the playhead's proportion.
    const float proportion = static_cast<float>(player.milliseconds) / (300 * 350);
    QVScrubBar bar;
    bar.resize(image.width(), 30);
    bar.setProportionValue(proportion);
    QVScrubWaveforms waveforms;
    waveforms.resize(image.width(), 40);
    waveforms.setProportionValue(proportion);
    waveforms.setIsActive(true);
    QImage picture(image.width(), image.height() + 70, QImage::Format_ARGB32_Premultiplied);
    picture.fill(QColor(40, 40, 40));
    QPainter painter(&picture);
    painter.fillRect(QRect(0, 30, image.width(), 40), QColor(20, 60, 90));
    painter.end();
    bar.render(&picture, QPoint(0, 0), QRegion(), QWidget::DrawChildren);
    waveforms.render(&picture, QPoint(0, 30), QRegion(), QWidget::DrawChildren);
    QPainter(&picture).drawImage(0, 70, image);
    picture.save(QDir(QCoreApplication::applicationDirPath()).filePath("transcript-mid-playback.png"));
    QVTextView* view = word(80)->speakerRange->textView;
    const QRect glyphs = view->boundingRectForRange({word(80)->characterStart, word(80)->name().size()}).toRect();
    const QPoint origin = view->mapTo(&table.tableView(), glyphs.topLeft());
    int accent = 0;
    for (int x = 0; x < glyphs.width(); ++x) {
        for (int y = 0; y < glyphs.height(); ++y) {
            const QColor c = image.pixelColor(origin + QPoint(x, y));
            accent += c.red() > 200 && c.green() < 140 && c.blue() < 120;
        }
    }
    EXPECT_GT(accent, 5);
    // A word not heard yet is drawn dimmed, not in the text colour.
    QVTextView* later = word(85)->speakerRange->textView;
    const QRect laterGlyphs = later->boundingRectForRange({word(85)->characterStart, word(85)->name().size()}).toRect();
    const QPoint laterOrigin = later->mapTo(&table.tableView(), laterGlyphs.topLeft());
    int dark = 0;
    int dimmed = 0;
    for (int x = 0; x < laterGlyphs.width(); ++x) {
        for (int y = 0; y < laterGlyphs.height(); ++y) {
            const QColor c = image.pixelColor(laterOrigin + QPoint(x, y));
            dark += c.red() < 60;
            dimmed += c.red() > 120 && c.red() < 170;
        }
    }
    EXPECT_EQ(dark, 0);
    EXPECT_GT(dimmed, 5);

    // Scrolled into the middle of Ben's words, Ben's header stays at the top over them.
    ViewTable& rows = table.tableView();
    rows.scrollToPoint({0, rows.rectOfRow(3).y() + 40});
    ASSERT_EQ(rows.floatingGroupRow(), 2);
    const QImage scrolled = rows.grab().toImage();
    scrolled.save(QDir(QCoreApplication::applicationDirPath()).filePath("transcript-floating-header.png"));
    EXPECT_EQ(rows.viewAtRow(2, false)->y(), 0);
}

}  // namespace
}  // namespace qv::transcript::testing
