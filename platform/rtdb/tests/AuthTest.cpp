#include "RtdbTestSupport.h"

#include "platform/foundation/Log.h"
#include "platform/rtdb/Auth.h"
#include "platform/rtdb/AuthBackend.h"
#include "platform/foundation/FileUtilities.h"

#include <nlohmann/json.hpp>

#include <set>

namespace qv::testing {
namespace {

class AuthFixture : public ::testing::Test {
protected:
    AuthBackend::Options serviceOptions()
    {
        return AuthBackend::Options{folder.path() / "service", 1000, [] { return std::int64_t{1'700'000'000'000}; }};
    }
    Auth::Options authOptions() { return Auth::Options{folder.path() / "signed-in.json"}; }
    std::unique_ptr<Auth> launch() { return std::make_unique<Auth>(*service, queue, authOptions()); }

    // Signs in or creates, and returns the error code (0 on success).
    int run(bool create, const std::string& email, const std::string& password)
    {
        std::optional<int> code;
        auto done = [&](const std::optional<User>& user, const std::optional<AuthError>& error) {
            EXPECT_NE(user.has_value(), error.has_value());
            code = error ? static_cast<int>(error->code) : 0;
        };
        if (create)
            auth->createUser(email, password, done);
        else
            auth->signIn(email, password, done);
        EXPECT_TRUE(queue.runUntil([&] { return code.has_value(); }));
        queue.drain();
        return code.value_or(-1);
    }

    TemporaryFolder folder;
    ManualDispatcher queue;
    std::unique_ptr<AuthBackend> service = std::make_unique<AuthBackend>(serviceOptions());
    std::unique_ptr<Auth> auth = launch();
    std::vector<std::string> heard;
    Auth::Listener listener = [this](const std::optional<User>& user) { heard.push_back(user ? user->email : "-"); };
};

TEST_F(AuthFixture, TokensLastAnHourAndTheClientRenewsThem)
{
    std::int64_t nowMs = 1'700'000'000'000;
    auth.reset();
    service = std::make_unique<AuthBackend>(AuthBackend::Options{folder.path() / "timed", 1000, [&] { return nowMs; }});
    auth = launch();
    std::vector<std::string> tokens;
    auth->setTokenListener([&](const std::string& token) { tokens.push_back(token); });
    ASSERT_EQ(run(true, "ann@example.com", "Secret123"), 0);
    const std::string first = auth->token();

    // Before the hour ends the client exchanges its token; the old one stops signing in.
    nowMs += 45 * 60'000;
    queue.advance(45 * 60);
    ASSERT_TRUE(queue.runUntil([&] { return !tokens.empty(); }));
    EXPECT_EQ(tokens.back(), auth->token());
    EXPECT_NE(auth->token(), first);
    EXPECT_FALSE(service->resumeSession(first));
    EXPECT_TRUE(service->resumeSession(auth->token()));

    // A token past its hour signs nothing in, but a kept one is exchanged at the next launch.
    const std::string kept = auth->token();
    nowMs += 61 * 60'000;
    EXPECT_FALSE(service->resumeSession(kept));
    auth = launch();
    ASSERT_TRUE(auth->currentUser());
    EXPECT_NE(auth->token(), kept);
    EXPECT_TRUE(service->resumeSession(auth->token()));

    // Unused for a month, the sign-in is gone.
    nowMs += std::int64_t{31} * 24 * 3'600'000;
    auth = launch();
    EXPECT_FALSE(auth->currentUser());
}

TEST_F(AuthFixture, CreateSignsInAndTheListenerHearsEachChange)
{
    auth->addAuthStateListener(listener);
    queue.drain();
    EXPECT_EQ(heard, (std::vector<std::string>{"-"}));

    EXPECT_EQ(run(true, "Ann@Example.COM", "Secret123"), 0);
    ASSERT_TRUE(auth->currentUser());
    EXPECT_EQ(auth->currentUser()->email, "ann@example.com");
    EXPECT_EQ(auth->currentUser()->uid.size(), 28u);
    EXPECT_FALSE(auth->currentUser()->emailVerified);
    EXPECT_FALSE(auth->signOut());
    queue.drain();
    EXPECT_FALSE(auth->currentUser());
    EXPECT_EQ(run(false, "ANN@example.com", "Secret123"), 0);
    EXPECT_EQ(heard, (std::vector<std::string>{"-", "ann@example.com", "-", "ann@example.com"}));
}

TEST_F(AuthFixture, ErrorsTheSignInScreenTellsApart)
{
    ASSERT_EQ(run(true, "ann@example.com", "Secret123"), 0);
    auth->signOut();
    struct Case {
        bool create;
        std::string email;
        std::string password;
        AuthErrorCode code;
    };
    const Case cases[] = {
        {false, "ann@example.com", "secret123", AuthErrorCode::WrongPassword},
        {false, "bob@example.com", "Secret123", AuthErrorCode::UserNotFound},
        {false, "not an address", "Secret123", AuthErrorCode::InvalidEmail},
        {true, "ANN@example.com", "Other1234", AuthErrorCode::EmailAlreadyInUse},
        {true, "bob@example", "Secret123", AuthErrorCode::InvalidEmail},
        {true, "bob@example.com", "abc12", AuthErrorCode::WeakPassword},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.create, c.email, c.password), static_cast<int>(c.code)) << c.email << " " << c.password;
    EXPECT_EQ(static_cast<int>(AuthErrorCode::WrongPassword), 17009);
    EXPECT_FALSE(auth->currentUser());
}

TEST_F(AuthFixture, PasswordsAreNeverStoredInClear)
{
    ASSERT_EQ(run(true, "ann@example.com", "Secret123"), 0);
    ASSERT_EQ(run(true, "bob@example.com", "Secret123"), 0);
    auto stored = readFile(folder.path() / "service" / "accounts.json");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->find("Secret123"), std::string::npos);
    // Salted: the same password gives two different hashes.
    auto json = nlohmann::json::parse(*stored);
    std::set<std::string> hashes;
    for (const auto& [uid, account] : json["accounts"].items())
        hashes.insert(account["hash"].get<std::string>());
    EXPECT_EQ(hashes.size(), 2u);
}

TEST_F(AuthFixture, TheSignInIsKeptAcrossLaunchesUntilSignOut)
{
    ASSERT_EQ(run(true, "ann@example.com", "Secret123"), 0);
    std::string uid = auth->currentUser()->uid;
    auth.reset();
    service = std::make_unique<AuthBackend>(serviceOptions());
    auth = launch();
    auth->addAuthStateListener(listener);
    queue.drain();
    ASSERT_TRUE(auth->currentUser());
    EXPECT_EQ(auth->currentUser()->uid, uid);
    EXPECT_EQ(heard, (std::vector<std::string>{"ann@example.com"}));

    auth->signOut();
    auth = launch();
    EXPECT_FALSE(auth->currentUser());
    // The account itself survives the restart of the service.
    EXPECT_EQ(run(false, "ann@example.com", "Secret123"), 0);
}

TEST_F(AuthFixture, StoredAccountsOfTheWrongShapeAreSkipped)
{
    ASSERT_EQ(run(true, "ann@example.com", "Secret123"), 0);
    auth.reset();
    service.reset();
    auto stored = nlohmann::json::parse(*readFile(folder.path() / "service" / "accounts.json"));
    stored["accounts"]["broken"] = {{"email", 7}, {"verified", "yes"}, {"iterations", "many"}};
    stored["password_resets"] = {{"x", 1}};
    replaceFile(folder.path() / "service" / "accounts.json", stored.dump());
    service = std::make_unique<AuthBackend>(serviceOptions());
    auth = launch();
    EXPECT_TRUE(auth->currentUser());
    EXPECT_TRUE(service->passwordResets().empty());
    auth->signOut();
    EXPECT_EQ(run(false, "ann@example.com", "Secret123"), 0);
}

TEST_F(AuthFixture, PasswordResetIsRecordedByTheService)
{
    ASSERT_EQ(run(true, "ann@example.com", "Secret123"), 0);
    std::vector<int> codes;
    auto done = [&](const std::optional<AuthError>& error) { codes.push_back(error ? static_cast<int>(error->code) : 0); };
    auth->sendPasswordReset("Ann@example.com", done);
    auth->sendPasswordReset("nobody@example.com", done);
    EXPECT_TRUE(queue.runUntil([&] { return codes.size() == 2; }));
    EXPECT_EQ(codes, (std::vector<int>{0, static_cast<int>(AuthErrorCode::UserNotFound)}));
    auto resets = service->passwordResets();
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_EQ(resets[0].email, "ann@example.com");
}

TEST(AuthBackendResets, APendingResetIsOnePerAccountTheLatestAndLastsAnHour)
{
    TemporaryFolder folder;
    std::int64_t now = 1'700'000'000'000;
    AuthBackend::Options options{folder.path(), 1000, [&now] { return now; }};
    auto backend = std::make_unique<AuthBackend>(options);
    ASSERT_TRUE(std::holds_alternative<AuthSession>(backend->createAccount("ann@example.com", "Secret123")));
    ASSERT_TRUE(std::holds_alternative<AuthSession>(backend->createAccount("bob@example.com", "Secret123")));
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(backend->requestPasswordReset("ann@example.com"));
        now += 1000;
    }
    EXPECT_FALSE(backend->requestPasswordReset("bob@example.com"));
    auto resets = backend->passwordResets();
    ASSERT_EQ(resets.size(), 2u);
    EXPECT_EQ(resets[0].email, "ann@example.com");
    EXPECT_EQ(resets[0].requestedAt, now - 1000);
    // An hour after its request a reset is gone, also for a service started again.
    now += AuthBackend::kPasswordResetLifetimeMs;
    EXPECT_EQ(backend->passwordResets().size(), 1u);
    now += 1000;
    EXPECT_TRUE(backend->passwordResets().empty());
    backend = std::make_unique<AuthBackend>(options);
    EXPECT_TRUE(backend->passwordResets().empty());
}

TEST_F(AuthFixture, TheVerifiedFlagComesFromTheService)
{
    ASSERT_EQ(run(true, "ann@example.com", "Secret123"), 0);
    ASSERT_TRUE(service->setEmailVerified(auth->currentUser()->uid, true));
    auth->signOut();
    ASSERT_EQ(run(false, "ann@example.com", "Secret123"), 0);
    EXPECT_TRUE(auth->currentUser()->emailVerified);
}

}  // namespace
}  // namespace qv::testing
