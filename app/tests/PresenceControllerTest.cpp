#include "ShellFixture.h"

namespace {

using qv::DatabaseValue;

class PresenceTest : public ShellFixture {
protected:
    PresenceTest() { backend.setValue("files/F1", fileRecord("UID1", 30, 1)); }

    std::shared_ptr<QVFile> fileOn(Computer& computer)
    {
        return fileFromRecord({}, "F1", computer.ad.filesMetadataRef.child("F1"));
    }
    void close(Computer& computer)
    {
        computer.shell.presence.currentFileUserOnlineRemove();
        computer.ad.currentFile = nullptr;
        queue.drain();
    }
};

TEST_F(PresenceTest, TheOldestEntryEditsAndTheRightMovesWhenItLeaves)
{
    Computer& first = addComputer("SYSA");
    Computer& second = addComputer("SYSB");
    Computer& third = addComputer("SYSC");
    open(first, fileOn(first));
    open(second, fileOn(second));
    open(third, fileOn(third));
    EXPECT_FALSE(first.ad.isViewingOnly);
    EXPECT_TRUE(second.ad.isViewingOnly);
    EXPECT_TRUE(third.ad.isViewingOnly);

    // The one that gains the edit right enables its editing and speaker controls; the one
    // still viewing is not disturbed.
    second.services.calls.clear();
    third.services.calls.clear();
    close(first);
    EXPECT_FALSE(second.ad.isViewingOnly);
    EXPECT_TRUE(third.ad.isViewingOnly);
    EXPECT_EQ(second.services.count("refreshEditingOptions"), 1);
    EXPECT_EQ(second.services.count("refreshSpeakerRangeChangesAllowed"), 1);
    EXPECT_EQ(third.services.count("refreshEditingOptions"), 0);

    // A computer whose connection drops leaves by the database's hand.
    second.client->goOffline();
    queue.drain();
    EXPECT_TRUE(second.ad.isViewingOnly);
    EXPECT_FALSE(third.ad.isViewingOnly);

    // Back online it queues behind the current editor.
    ++now;
    second.client->goOnline();
    queue.drain();
    EXPECT_TRUE(second.ad.isViewingOnly);
    EXPECT_FALSE(third.ad.isViewingOnly);
    EXPECT_EQ(backend.value("files/F1/users_online/UID1").childCount(), 2u);
}

TEST_F(PresenceTest, AnOldEntryOfThisComputerIsRemovedAndTheRightFollows)
{
    // Left by this computer in an earlier run, older than anything written now.
    backend.setValue("files/F1/users_online/UID1/-0000000000000000000", "SYSA");
    Computer& other = addComputer("SYSB");
    open(other, fileOn(other));
    EXPECT_TRUE(other.ad.isViewingOnly);

    Computer& mac = addComputer("SYSA");
    open(mac, fileOn(mac));
    const DatabaseValue entries = backend.value("files/F1/users_online/UID1");
    EXPECT_EQ(entries.childCount(), 2u);
    EXPECT_FALSE(entries.hasChild("-0000000000000000000"));
    // Now the other computer is the oldest.
    EXPECT_FALSE(other.ad.isViewingOnly);
    EXPECT_TRUE(mac.ad.isViewingOnly);
}

TEST_F(PresenceTest, ViewingOnlyByScreenAndConnection)
{
    Computer& mac = addComputer("SYSA");
    const struct {
        std::int64_t mode;
        bool connected, fileOpen, fullAccess, viewingOnly;
    } cases[] = {
        {0, false, true, false, false}, {1, true, false, false, false}, {1, true, true, false, true},
        {2, true, true, true, false},   {1, false, false, true, true},  {2, false, true, true, true},
    };
    for (const auto& test : cases) {
        mac.ad.currentMode = test.mode;
        mac.ad.isConnected = test.connected;
        mac.ad.currentFile = test.fileOpen ? fileOn(mac) : nullptr;
        mac.ad.hasFullAccess = test.fullAccess;
        mac.shell.presence.updateViewingOnlyStatus();
        EXPECT_EQ(mac.ad.isViewingOnly, test.viewingOnly) << test.mode << test.connected << test.fileOpen;
    }
}

TEST_F(PresenceTest, OneAccountEntryPerConnectionAndAMalformedNodeDecidesNothingWrong)
{
    Computer& mac = addComputer("SYSA");
    mac.shell.presence.userOnlineAdd();
    mac.shell.presence.userOnlineAdd();
    queue.drain();
    EXPECT_EQ(backend.value("users_online/UID1").childCount(), 1u);
    mac.shell.presence.userOnlineRemove();
    queue.drain();
    EXPECT_TRUE(backend.value("users_online/UID1").isNull());

    // An entry an older client wrote as a map is nobody's: the computer after it decides.
    backend.setValue("files/F1/users_online/UID1/-0000000000000000000", DatabaseValue::object({{"system", "SYSA"}}));
    open(mac, fileOn(mac));
    EXPECT_TRUE(mac.ad.isViewingOnly);
    EXPECT_TRUE(backend.value("files/F1/users_online/UID1").hasChild("-0000000000000000000"));
}

TEST_F(PresenceTest, TheObserverOfAFileLeftBehindDecidesNothing)
{
    backend.setValue("files/F2", fileRecord("UID1", 30, 2));
    Computer& other = addComputer("SYSB");
    Computer& mac = addComputer("SYSA");
    open(mac, fileOn(mac));
    EXPECT_FALSE(mac.ad.isViewingOnly);
    open(mac, fileFromRecord({}, "F2", mac.ad.filesMetadataRef.child("F2")));
    EXPECT_FALSE(mac.ad.isViewingOnly);
    // The other computer opening the first file does not take the right away here.
    open(other, fileOn(other));
    EXPECT_FALSE(other.ad.isViewingOnly);
    EXPECT_FALSE(mac.ad.isViewingOnly);
    EXPECT_TRUE(mac.ad.hasFullAccess);
}

}  // namespace
