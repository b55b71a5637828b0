#include "HubTestSupport.h"

#include "platform/rtdb/Auth.h"
#include "platform/rtdb/RemoteAuthService.h"

namespace qv::hub::testing {
namespace {

class RemoteAuth : public ServiceFixture {
protected:
    void SetUp() override
    {
        ServiceFixture::SetUp();
        port = service->port();
    }
    std::unique_ptr<Auth> launch()
    {
        remote = std::make_unique<RemoteAuthService>(
            RemoteAuthService::Options{QUrl("http://127.0.0.1:" + QString::number(port) + "/"), {}, 5});
        return std::make_unique<Auth>(*remote, queue, Auth::Options{std::filesystem::path(folder.path().toStdString()) / "me.json"});
    }
    // Signs in or creates; the error code, 0 on success.
    int run(Auth& auth, bool create, const std::string& email, const std::string& password)
    {
        std::optional<int> code;
        auto done = [&](const std::optional<User>&, const std::optional<AuthError>& error) {
            code = error ? static_cast<int>(error->code) : 0;
        };
        create ? auth.createUser(email, password, done) : auth.signIn(email, password, done);
        EXPECT_TRUE(waitFor([&] { return code.has_value(); }));
        return code.value_or(-1);
    }

    quint16 port = 0;
    std::unique_ptr<RemoteAuthService> remote;
};

TEST_F(RemoteAuth, SignUpAndSignInOverHttpGiveATokenTheDatabaseTakes)
{
    auto auth = launch();
    std::vector<std::string> heard;
    auth->addAuthStateListener([&](const std::optional<User>& user) { heard.push_back(user ? user->email : "none"); });
    EXPECT_EQ(run(*auth, true, "Ada@Example.com", "long enough"), 0);
    EXPECT_EQ(run(*auth, true, "ada@example.com", "long enough"), 17007);
    EXPECT_EQ(run(*auth, false, "ada@example.com", "wrong"), 17009);
    EXPECT_EQ(run(*auth, false, "nobody@example.com", "whatever"), 17011);
    EXPECT_EQ(run(*auth, false, "ada@example.com", "long enough"), 0);
    ASSERT_TRUE(waitFor([&] { return heard.size() == 3; }));
    EXPECT_EQ(heard, (std::vector<std::string>{"none", "ada@example.com", "ada@example.com"}));

    auto client = connectClient(auth->token());
    std::optional<DatabaseResult> written;
    client->reference("users/" + auth->currentUser()->uid + "/first_name").setValue("Ada", [&](const DatabaseResult& e) {
        written = e;
    });
    ASSERT_TRUE(waitFor([&] { return written.has_value(); }));
    EXPECT_FALSE(written->has_value());

    std::optional<std::optional<AuthError>> reset;
    auth->sendPasswordReset("ada@example.com", [&](const std::optional<AuthError>& error) { reset = error; });
    ASSERT_TRUE(waitFor([&] { return reset.has_value(); }));
    EXPECT_FALSE(reset->has_value());
}

TEST_F(RemoteAuth, TheSignInIsKeptAcrossLaunchesAndSigningOutEndsItOnTheService)
{
    std::string token;
    {
        auto auth = launch();
        ASSERT_EQ(run(*auth, true, "ada@example.com", "long enough"), 0);
        token = auth->token();
    }
    auto again = launch();
    ASSERT_TRUE(again->currentUser().has_value());
    EXPECT_EQ(again->currentUser()->email, "ada@example.com");
    // The kept token was exchanged for a fresh one at the launch.
    EXPECT_NE(again->token(), token);
    auto signedIn = [&](const std::string& kept) {
        auto checked = remote->checkSession(kept);
        EXPECT_TRUE(std::holds_alternative<std::optional<User>>(checked));
        return std::holds_alternative<std::optional<User>>(checked) && std::get<std::optional<User>>(checked).has_value();
    };
    EXPECT_FALSE(signedIn(token));
    token = again->token();
    EXPECT_TRUE(signedIn(token));
    again->signOut();
    EXPECT_FALSE(signedIn(token));
    EXPECT_FALSE(launch()->currentUser().has_value());
}

TEST_F(RemoteAuth, AServiceOutOfReachNeitherSignsOutNorSignsIn)
{
    {
        auto auth = launch();
        ASSERT_EQ(run(*auth, true, "ada@example.com", "long enough"), 0);
    }
    stopService();
    auto offline = launch();
    ASSERT_TRUE(offline->currentUser().has_value());
    EXPECT_EQ(offline->currentUser()->email, "ada@example.com");
    EXPECT_EQ(run(*offline, false, "ada@example.com", "long enough"), static_cast<int>(AuthErrorCode::NetworkError));
}

}  // namespace
}  // namespace qv::hub::testing
