// The Edit menu's Copy and Paste Audio Configuration in the running program: enabled by the
// pending list's selection, its panel and the program's own pasteboard, acting on the pending
// files and reloading the panel, and leaving the system clipboard alone.
#include "app/shell/ApplicationShell.h"
#include "intake/QVFilesPendingTableView.h"
#include "intake/audio/QVAudioLayout.h"
#include "intake/audio/QVCheckBox.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QTcpServer>
#include <QTemporaryDir>

#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

// A pending file of one media file with a track per entry of `channels`, every channel on. Made
// from a library clip it carries its layout; added from a file it carries none.
std::shared_ptr<QVFilePending> pendingFile(const QString& uuid, const std::vector<int>& channels, bool fromClip)
{
    auto media = std::make_shared<QVMediaFile>();
    for (int count : channels) {
        auto track = std::make_shared<QVAudioTrack>();
        for (int c = 0; c < count; ++c) {
            auto channel = std::make_shared<QVAudioChannel>();
            channel->parentAudioTrack = track;
            track->audioChannels.push_back(channel);
        }
        media->audioTracks.push_back(track);
    }
    auto file = std::make_shared<QVFilePending>();
    file->uuid = uuid;
    file->name = uuid;
    file->mediaFiles = {media};
    if (fromClip)
        file->audioLayoutType = createAudioLayoutTypeFromMediaFiles(file->mediaFiles);
    return file;
}

std::vector<bool> enabledChannels(const QVFilePending& file)
{
    std::vector<bool> enabled;
    for (const auto& track : file.mediaFiles[0]->audioTracks)
        for (const auto& channel : track->audioChannels)
            enabled.push_back(channel->enabled);
    return enabled;
}

class AudioConfigurationMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A loopback port nothing listens on: the program starts without a service.
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        const quint16 port = server.serverPort();
        server.close();
        preferences = std::make_unique<Preferences>(folder.path());
        shell = std::make_unique<ApplicationShell>(
            queue, *preferences,
            LaunchConfiguration::fromArguments({"quorvantelle", "--service", QStringLiteral("http://127.0.0.1:%1/").arg(port)}));
        shell->applicationDidFinishLaunching();
        shell->ad().currentMode = 1;
    }

    void select(const std::vector<int>& rows)
    {
        QVFilesPendingTableView* table = shell->pendingList().tableView();
        table->clearSelection();
        for (int row : rows)
            table->item(row)->setSelected(true);
        queue.drain();
    }

    // Whether the two items are enabled, as the Edit menu shows them when it opens.
    std::pair<bool, bool> copyAndPasteEnabled()
    {
        MainWindow& window = shell->window();
        window.validateAllMenus();
        return {window.action("copyAudioConfiguration:")->isEnabled(), window.action("pasteAudioConfiguration:")->isEnabled()};
    }

    // Opens the menu (which validates its items) and chooses the item.
    void choose(const char* action)
    {
        shell->window().validateAllMenus();
        shell->window().action(action)->trigger();
        queue.drain();
    }

    QTemporaryDir folder;
    ManualDispatcher queue;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ApplicationShell> shell;
};

TEST_F(AudioConfigurationMenuTest, ItemsFollowTheSelectionThePanelAndThePasteboard)
{
    AppDelegate& ad = shell->ad();
    ad.filesPending = {pendingFile("STEREO", {2}, true), pendingFile("MONO", {1}, true), pendingFile("OTHER", {2}, true)};
    shell->pendingList().refreshPendingView();
    EXPECT_EQ(shell->window().action("copyAudioConfiguration:")->text(), "Copy Audio Configuration");
    EXPECT_EQ(shell->window().action("pasteAudioConfiguration:")->text(), "Paste Audio Configuration");

    struct Case {
        const char* what;
        std::vector<int> rows;
        bool copy;
    };
    // Nothing copied yet: paste is off whatever the selection.
    for (const Case& c : {Case{"no row", {}, false}, Case{"a file with two channels", {0}, true},
                          Case{"a file with one channel", {1}, false}, Case{"two rows", {0, 2}, false}}) {
        select(c.rows);
        EXPECT_EQ(copyAndPasteEnabled(), std::make_pair(c.copy, false)) << c.what;
    }

    select({0});
    choose("copyAudioConfiguration:");
    for (const Case& c : {Case{"no row", {}, false}, Case{"one row", {1}, false}, Case{"two rows", {1, 2}, false}}) {
        select(c.rows);
        EXPECT_EQ(copyAndPasteEnabled().second, !c.rows.empty()) << c.what;
    }
    // Only on the files screen.
    select({0});
    ad.currentMode = 2;
    EXPECT_EQ(copyAndPasteEnabled(), std::make_pair(false, false));
    ad.currentMode = 0;
    EXPECT_EQ(copyAndPasteEnabled(), std::make_pair(false, false));
}

TEST_F(AudioConfigurationMenuTest, PasteGivesTheSelectedFilesOfTheSameLayoutTheCopiedChannelsAndReloadsThePanel)
{
    AppDelegate& ad = shell->ad();
    const auto source = pendingFile("SOURCE", {2, 2}, true);
    const auto same = pendingFile("SAME", {2, 2}, true);
    const auto otherLayout = pendingFile("FOUR", {4}, true);
    const auto fromFile = pendingFile("FROMFILE", {2, 2}, false);
    ad.filesPending = {source, same, otherLayout, fromFile};
    shell->pendingList().refreshPendingView();
    source->mediaFiles[0]->audioTracks[1]->audioChannels[0]->enabled = false;
    QGuiApplication::clipboard()->setText(QStringLiteral("words of a transcript"));

    select({0});
    choose("copyAudioConfiguration:");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "words of a transcript");

    // The panel shows the one target selected: it shows the pasted channels at once.
    QVAudioConfigurationViewController& panel = shell->pendingList().audioConfigurationVC();
    select({1});
    ASSERT_EQ(panel.currentFilePending(), same);
    ASSERT_NE(panel.fileEnableButton(0), nullptr);
    EXPECT_EQ(panel.fileEnableButton(0)->state(), QVAudioConfigurationViewController::kAllChannelsEnabled);
    choose("pasteAudioConfiguration:");
    EXPECT_EQ(enabledChannels(*same), std::vector<bool>({true, true, false, true}));
    ASSERT_NE(panel.fileEnableButton(0), nullptr);
    EXPECT_EQ(panel.fileEnableButton(0)->state(), QVAudioConfigurationViewController::kMixedChannels);

    // Every row: the source stays, the other layout and the file without one are left alone.
    select({0, 1, 2, 3});
    choose("pasteAudioConfiguration:");
    EXPECT_EQ(enabledChannels(*source), std::vector<bool>({true, true, false, true}));
    EXPECT_EQ(enabledChannels(*otherLayout), std::vector<bool>(4, true));
    EXPECT_EQ(enabledChannels(*fromFile), std::vector<bool>(4, true));
}

}  // namespace
}  // namespace qv::shell
