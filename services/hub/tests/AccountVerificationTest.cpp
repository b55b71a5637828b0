// A shared service verifies a new account through the link it logs, opened by hand or by
// `qv-hub --verify-email`; a verified account's status stays verified whatever its sign-up
// writes. (The embedded service verifies at once: EmbeddedServiceTest.)
#include "HubTestSupport.h"

#include "platform/foundation/Log.h"

#include <QProcess>

#include <algorithm>
#include <mutex>

namespace qv::hub::testing {
namespace {

class AccountVerificationTest : public ServiceFixture {
protected:
    void SetUp() override
    {
        previous = setLogSink([this](LogLevel, std::string_view message) {
            std::lock_guard lock(mutex);
            logged.emplace_back(message);
        });
        ServiceFixture::SetUp();
    }
    void TearDown() override
    {
        ServiceFixture::TearDown();
        setLogSink(previous);
    }
    // Signs up through the service's sign-up; gives the answer's body.
    std::string signUp(const std::string& email)
    {
        return http(service->port(), "POST", "/auth/sign-up", R"({"email":")" + email + R"(","password":"secret!"})");
    }
    static std::string field(const std::string& answer, const std::string& name)
    {
        const auto at = answer.find("\"" + name + "\":\"") + name.size() + 4;
        return answer.substr(at, answer.find('"', at) - at);
    }
    // The path and query of the link logged for `email`.
    std::string loggedLink(const std::string& email)
    {
        std::lock_guard lock(mutex);
        for (const auto& line : logged)
            if (line.find("verify " + email + " at http://127.0.0.1:") != std::string::npos)
                return line.substr(line.find("/auth/verify?"));
        return {};
    }
    // The sign-up's own record, with status 10, as the program writes it.
    void writeSignUpRecord(DatabaseClient& client, const std::string& uid)
    {
        bool written = false;
        client.reference("users/" + uid).updateChildValues({{"status", 10}, {"first_name", "Ann"}},
                                                          [&](const DatabaseResult& error) { written = !error; });
        ASSERT_TRUE(waitFor([&] { return written; }));
    }
    bool verifiedAccount(const std::string& token)
    {
        return http(service->port(), "POST", "/auth/session", R"({"token":")" + token + "\"}").find("\"emailVerified\":true")
            != std::string::npos;
    }

    LogSink previous;
    std::mutex mutex;
    std::vector<std::string> logged;
};

TEST_F(AccountVerificationTest, TheLoggedLinkVerifiesItsAccountOnlyAndOnlyWithItsCode)
{
    const std::string ann = signUp("ann@example.com");
    const std::string bo = signUp("bo@example.com");
    ASSERT_NE(ann.find("\"emailVerified\":false"), std::string::npos) << ann;
    const std::string annUid = field(ann, "uid"), boUid = field(bo, "uid");
    auto annClient = connectClient(field(ann, "token"));
    auto boClient = connectClient(field(bo, "token"));
    writeSignUpRecord(*annClient, annUid);
    writeSignUpRecord(*boClient, boUid);

    const std::string link = loggedLink("ann@example.com");
    ASSERT_FALSE(link.empty());
    std::string tampered = link;
    tampered[tampered.size() - 1] = tampered.back() == '0' ? '1' : '0';
    EXPECT_EQ(http(service->port(), "GET", tampered).substr(0, 4), "403 ");
    const std::string otherAccount = "/auth/verify?account=" + boUid + link.substr(link.find("&code="));
    EXPECT_EQ(http(service->port(), "GET", otherAccount).substr(0, 4), "403 ");
    EXPECT_FALSE(verifiedAccount(field(ann, "token")));

    EXPECT_EQ(http(service->port(), "GET", link), "200 ann@example.com is verified.\n");
    EXPECT_TRUE(verifiedAccount(field(ann, "token")));
    EXPECT_TRUE(waitFor([&] { return service->value("users/" + annUid + "/status") == DatabaseValue(30); }));
    EXPECT_EQ(service->value("users/" + boUid + "/status"), DatabaseValue(10));
    EXPECT_FALSE(verifiedAccount(field(bo, "token")));

    // A later write of a lower status by the verified account keeps it verified.
    writeSignUpRecord(*annClient, annUid);
    EXPECT_EQ(service->value("users/" + annUid + "/status"), DatabaseValue(30));
    EXPECT_EQ(service->value("users/" + annUid + "/first_name"), DatabaseValue("Ann"));
}

TEST_F(AccountVerificationTest, TheResendLinkLogsTheLinkAgainUntilTheAccountIsVerified)
{
    const std::string ann = signUp("ann@example.com");
    const std::string uid = field(ann, "uid");
    // The client's link token: the identifier's groups of seven in the order 3, 2, 4, 1.
    const std::string token = uid.substr(14, 7) + uid.substr(7, 7) + uid.substr(21, 7) + uid.substr(0, 7);
    auto linksLogged = [&] {
        std::lock_guard lock(mutex);
        return std::count_if(logged.begin(), logged.end(), [](const std::string& line) {
            return line.find("verify ann@example.com at ") != std::string::npos;
        });
    };
    ASSERT_EQ(linksLogged(), 1);
    EXPECT_EQ(http(service->port(), "GET", "/resend-welcome-email?token=" + token).substr(0, 4), "200 ");
    EXPECT_EQ(linksLogged(), 2);
    for (const std::string& other : {uid, std::string("AAAAAAABBBBBBBCCCCCCCDDDDDDD"), std::string()})
        EXPECT_EQ(http(service->port(), "GET", "/resend-welcome-email?token=" + other).substr(0, 4), "404 ") << other;

    ASSERT_EQ(http(service->port(), "GET", loggedLink("ann@example.com")).substr(0, 4), "200 ");
    EXPECT_EQ(http(service->port(), "GET", "/resend-welcome-email?token=" + token).substr(0, 4), "200 ");
    EXPECT_EQ(linksLogged(), 2);
}

TEST_F(AccountVerificationTest, TheCommandVerifiesAnAccountOfTheRunningService)
{
    const std::string ann = signUp("ann@example.com");
    auto client = connectClient(field(ann, "token"));
    writeSignUpRecord(*client, field(ann, "uid"));

    QProcess command;
    command.start(QV_HUB_PROGRAM, {"--data", folder.path(), "--port", QString::number(service->port()), "--verify-email",
                                   "Ann@Example.com"});
    ASSERT_TRUE(command.waitForFinished(int(kDeadline * 1000)));
    EXPECT_EQ(command.exitCode(), 0) << command.readAllStandardError().toStdString();
    EXPECT_EQ(command.readAllStandardOutput().toStdString(), "ann@example.com is verified.\n");
    EXPECT_TRUE(waitFor([&] { return service->value("users/" + field(ann, "uid") + "/status") == DatabaseValue(30); }));

    command.start(QV_HUB_PROGRAM, {"--data", folder.path(), "--port", QString::number(service->port()), "--verify-email",
                                   "nobody@example.com"});
    ASSERT_TRUE(command.waitForFinished(int(kDeadline * 1000)));
    EXPECT_EQ(command.exitCode(), 1);
}

}  // namespace
}  // namespace qv::hub::testing
