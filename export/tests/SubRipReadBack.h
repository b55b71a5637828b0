#pragma once
// Reads SubRip files back through the ffmpeg command's SubRip reader, to check that what the
// export writes is what a player sees.
#include "export/tests/TestFiles.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <vector>

namespace qv::test {

struct Cue {
    QString times;
    QString text;
    bool operator==(const Cue&) const = default;
};

inline void PrintTo(const Cue& cue, std::ostream* os) {
    *os << "{" << cue.times.toStdString() << " | " << cue.text.toStdString() << "}";
}

// Cues of a SubRip text: number line, time line, text lines, separated by blank lines.
inline std::vector<Cue> parseSubRip(const QString& text) {
    std::vector<Cue> cues;
    for (const auto& block : text.split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
        const QStringList lines = block.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (lines.size() < 2) continue;
        cues.push_back({lines[1], lines.mid(2).join(QLatin1Char('\n'))});
    }
    return cues;
}

// The cues of a SubRip file as the ffmpeg command reads them and writes them out again.
inline std::vector<Cue> cuesReadByFfmpeg(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v", "error", "-f", "srt", "-i", path, "-f", "srt", "-"});
    EXPECT_TRUE(ffmpeg.waitForFinished(30000));
    EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
    return parseSubRip(QString::fromUtf8(ffmpeg.readAllStandardOutput()).remove(QLatin1Char('\r')));
}

// ffmpeg reads the file at `path` with the cue times and texts it holds.
inline void expectFfmpegReadsTheSameCues(const QString& path) {
    EXPECT_EQ(cuesReadByFfmpeg(path), parseSubRip(QString::fromUtf8(readFile(path))));
}

}  // namespace qv::test
