#include "ShellFixture.h"

#include "model/QVFilePending.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class LogOutTest : public ShellFixture {
protected:
    LogOutTest() : mac(addComputer("SYSA"))
    {
        for (const char* key : {"QVUserEmail", "QVUserID", "QVUserName", "QVSystemID"})
            mac.preferences.setObject(key, QStringLiteral("kept"));
        QDir().mkpath(mac.shell.logOut.firebaseCachePath() + "/account");
        QFile cache(mac.shell.logOut.firebaseCachePath() + "/account/tree.db");
        EXPECT_TRUE(cache.open(QIODevice::WriteOnly));
    }
    bool accountDataLeft()
    {
        return QFileInfo::exists(mac.shell.logOut.firebaseCachePath()) ||
               !mac.preferences.objectForKey("QVUserEmail").isAbsent() || !mac.preferences.objectForKey("QVUserID").isAbsent() ||
               !mac.preferences.objectForKey("QVUserName").isAbsent();
    }

    Computer& mac;
};

TEST_F(LogOutTest, WithoutImportedFilesItSignsOutAtOnceAndLeavesNoAccountData)
{
    mac.shell.logOut.logOut();
    EXPECT_TRUE(mac.services.logOutQuestion.isEmpty());
    EXPECT_EQ(mac.services.count("finishEditingIfNecessary"), 1);
    EXPECT_EQ(mac.services.count("transitionToLogIn"), 1);
    EXPECT_FALSE(accountDataLeft());
    EXPECT_EQ(mac.preferences.stringForKey("QVSystemID").value_or(QString()), "kept");
    EXPECT_FALSE(mac.ad.hasLoggedSessionStats);
}

TEST_F(LogOutTest, ImportedFilesAskFirst)
{
    EXPECT_EQ(qv::LogOutController::logOutMessage(1), "You have 1 imported file.\n\nAre you sure you want to log out?");
    EXPECT_EQ(qv::LogOutController::logOutMessage(3), "You have 3 imported files.\nAre you sure you want to log out?");

    mac.ad.filesPending = {std::make_shared<QVFilePending>(), std::make_shared<QVFilePending>()};
    mac.services.logOutAnswer = false;
    mac.shell.logOut.logOut();
    EXPECT_EQ(mac.services.logOutQuestion, qv::LogOutController::logOutMessage(2));
    EXPECT_TRUE(accountDataLeft());
    EXPECT_EQ(mac.ad.filesPending.size(), 2u);
    EXPECT_EQ(mac.services.count("transitionToLogIn"), 0);

    mac.services.logOutAnswer = true;
    mac.shell.logOut.logOut();
    EXPECT_FALSE(accountDataLeft());
    EXPECT_EQ(mac.services.count("transitionToLogIn"), 1);
}

TEST_F(LogOutTest, AMissingOrReadOnlyCacheIsLeftAloneAndTheLogOutCompletes)
{
    // The super-user may write anywhere, so only others can see a read-only cache.
    if (::geteuid() != 0) {
        const QByteArray cache = QFile::encodeName(mac.shell.logOut.firebaseCachePath());
        ASSERT_EQ(::chmod(cache.constData(), 0500), 0);
        mac.shell.logOut.logOut();
        EXPECT_TRUE(QFileInfo::exists(mac.shell.logOut.firebaseCachePath() + "/account/tree.db"));
        ::chmod(cache.constData(), 0700);
    }
    QDir(mac.shell.logOut.firebaseCachePath()).removeRecursively();
    mac.services.calls.clear();
    mac.shell.logOut.logOut();
    EXPECT_EQ(mac.services.count("transitionToLogIn"), 1);
}

}  // namespace
