#include "app/MailingListKit.h"
#include "services/mailinglist/MailingListServer.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QThread>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace qv {
namespace {

constexpr auto kDeadline = std::chrono::seconds(20);
const QString kKey = QStringLiteral("0123456789abcdef0123456789abcdef-us7");

// What reached a callback or a delegate, from the network thread.
struct Reports : MailingListRequestDelegate {
    struct Report {
        std::uint64_t identifier = 0;
        std::optional<MailingListResponse> response;
        QByteArray data;
        std::optional<MailingListError> error;
        bool onCallerThread = false;
    };
    MailingListKit::CompletionHandler handler()
    {
        return [this](const std::optional<MailingListResponse>& response, const QByteArray& data,
                      const std::optional<MailingListError>& error) { add({0, response, data, error}); };
    }
    void ckRequestIdentifierDidUploadBytes(std::uint64_t, std::int64_t sent, std::int64_t expected) override
    {
        std::lock_guard lock(mutex);
        uploaded = {sent, expected};
    }
    void ckRequestIdentifierDidSucceed(std::uint64_t id, const MailingListResponse& response, const QByteArray& data) override
    {
        add({id, response, data, std::nullopt});
    }
    void ckRequestFailedWithIdentifier(std::uint64_t id, const MailingListError& error) override
    {
        add({id, std::nullopt, {}, error});
    }
    void add(Report report)
    {
        report.onCallerThread = std::this_thread::get_id() == caller;
        std::lock_guard lock(mutex);
        reports.push_back(std::move(report));
        changed.notify_all();
    }
    bool waitFor(std::size_t count)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kDeadline, [&] { return reports.size() >= count; });
    }

    std::thread::id caller = std::this_thread::get_id();
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Report> reports;
    std::pair<std::int64_t, std::int64_t> uploaded{0, 0};
};

class MailingListKitTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!QCoreApplication::instance()) {
            static int argc = 1;
            static char name[] = "mailing";
            static char* argv[] = {name, nullptr};
            new QCoreApplication(argc, argv);
        }
    }
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        kit.setApiAddressTemplate(server.apiAddressTemplate());
    }
    static QJsonObject subscription()
    {
        return QJsonObject{{"id", "list-1"},
                           {"email", QJsonObject{{"email", "ada@example.com"}}},
                           {"merge_vars", QJsonObject{{"FNAME", "Ada"}, {"LNAME", "Byron"}}}};
    }

    MailingListServer server{kKey};
    MailingListKit kit;
    std::shared_ptr<Reports> reports = std::make_shared<Reports>();
};

TEST_F(MailingListKitTest, CallsThatCannotBeMadeFailAtOnce)
{
    // No key yet.
    EXPECT_EQ(kit.callApiMethod("lists/subscribe", subscription(), reports->handler()), 0u);
    // An explicit key without a data-centre code, to a callback and to a delegate.
    EXPECT_EQ(kit.callApiMethod("lists/subscribe", QStringLiteral("nodatacentre"), subscription(), reports->handler()), 0u);
    EXPECT_EQ(kit.callApiMethod("lists/subscribe", QStringLiteral("nodatacentre"), subscription(),
                                MailingListKit::Delegate(reports)), 0u);
    ASSERT_EQ(reports->reports.size(), 3u);
    for (const auto& report : reports->reports) {
        ASSERT_TRUE(report.error);
        EXPECT_EQ(report.error->domain, "MailingListKit.ErrorDomain");
        EXPECT_EQ(report.error->code, 0);
        EXPECT_FALSE(report.response);
        EXPECT_TRUE(report.onCallerThread);
    }
    // Nobody to tell: nothing is sent.
    EXPECT_EQ(kit.callApiMethod("lists/subscribe", kKey, subscription(), MailingListKit::CompletionHandler()), 0u);
    EXPECT_EQ(kit.callApiMethod("lists/subscribe", kKey, subscription(), MailingListKit::Delegate()), 0u);
    EXPECT_TRUE(server.requests().empty());

    kit.setApiKey("nodatacentre");
    EXPECT_EQ(kit.apiKey(), "nodatacentre");
    EXPECT_TRUE(kit.apiURL().isEmpty());
    kit.setApiKey(kKey);
    EXPECT_EQ(kit.apiURL(), server.apiAddressTemplate());
}

TEST_F(MailingListKitTest, ASubscriptionIsPostedWithTheKeyAndReportedOnceOffTheCallersThread)
{
    kit.setApiKey(kKey);
    const QJsonObject params = subscription();
    const auto id = kit.callApiMethod("lists/subscribe", params, reports->handler());
    EXPECT_NE(id, 0u);
    ASSERT_TRUE(reports->waitFor(1));
    EXPECT_EQ(params, subscription());

    const auto& report = reports->reports.front();
    EXPECT_FALSE(report.error);
    EXPECT_FALSE(report.onCallerThread);
    ASSERT_TRUE(report.response);
    EXPECT_EQ(report.response->statusCode, 200);
    EXPECT_EQ(QJsonDocument::fromJson(report.data).object().value("email").toString(), "ada@example.com");
    ASSERT_EQ(server.requests().size(), 1u);
    QJsonObject expected = subscription();
    expected.insert("apikey", kKey);
    EXPECT_EQ(server.requests().front(), expected);
    ASSERT_EQ(server.subscriptions().size(), 1u);
    EXPECT_EQ(server.subscriptions().front().lastName, "Byron");

    // An error in the answer's body is still an answer.
    kit.callApiMethod("lists/subscribe", QStringLiteral("ffff-us7"), params, reports->handler());
    ASSERT_TRUE(reports->waitFor(2));
    EXPECT_FALSE(reports->reports[1].error);
    EXPECT_EQ(reports->reports[1].response->statusCode, 500);
    EXPECT_TRUE(reports->reports[1].data.contains("Invalid_ApiKey"));
}

TEST_F(MailingListKitTest, ACancelledRequestIsNeverReported)
{
    kit.setApiKey(kKey);
    const auto cancelled = kit.callApiMethod("lists/subscribe", subscription(), MailingListKit::Delegate(reports));
    kit.cancelRequestWithIdentifier(cancelled);
    const auto later = kit.callApiMethod("lists/subscribe", subscription(), MailingListKit::Delegate(reports));
    ASSERT_TRUE(reports->waitFor(1));
    ASSERT_EQ(reports->reports.size(), 1u);
    EXPECT_EQ(reports->reports.front().identifier, later);
}

TEST_F(MailingListKitTest, ADelegateHearsProgressAndTheOutcome)
{
    const auto id = kit.callApiMethod("lists/subscribe", kKey, subscription(), MailingListKit::Delegate(reports));
    ASSERT_TRUE(reports->waitFor(1));
    EXPECT_EQ(reports->reports.front().identifier, id);
    EXPECT_FALSE(reports->reports.front().error);
    EXPECT_GT(reports->uploaded.second, 0);
    EXPECT_EQ(reports->uploaded.first, reports->uploaded.second);
}

TEST_F(MailingListKitTest, AnUnreachableServiceIsReportedOnceWithTheError)
{
    QString address;
    {
        MailingListServer gone;
        ASSERT_TRUE(gone.start());
        address = gone.apiAddressTemplate();
    }
    kit.setApiAddressTemplate(address);
    kit.callApiMethod("lists/subscribe", kKey, subscription(), reports->handler());
    ASSERT_TRUE(reports->waitFor(1));
    ASSERT_TRUE(reports->reports.front().error);
    EXPECT_EQ(reports->reports.front().error->domain, "QNetworkReply");
    EXPECT_FALSE(reports->reports.front().response);
}

}  // namespace
}  // namespace qv
