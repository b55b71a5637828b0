#include "app/widgets/UserExistenceCheck.h"

#include "WidgetsTestSupport.h"
#include "services/hub/tests/HubTestSupport.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class UserExistenceCheckTest : public ::testing::Test {
protected:
    UserExistenceCheckTest() : service(options()) {}

    qv::hub::HubServer::Options options()
    {
        qv::hub::HubServer::Options options;
        options.dataFolder = folder.path().toStdString();
        options.hashIterations = 1;
        return options;
    }

    // Asks the running service about `email` and waits for its answer.
    std::optional<qv::UserExistenceAnswer> check(const QString& email, const QUrl& endpoint)
    {
        std::optional<qv::UserExistenceAnswer> answer;
        QEventLoop loop;
        QTimer::singleShot(int(qv::hub::testing::kDeadline * 1000), &loop, &QEventLoop::quit);
        qv::checkExistingUser(network, endpoint, email, [&](const qv::UserExistenceAnswer& reply) {
            answer = reply;
            loop.quit();
        });
        loop.exec();
        return answer;
    }

    QUrl endpoint(const QString& path) { return QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(service.port()).arg(path)); }

    QApplication& application = testApplication();
    QTemporaryDir folder;
    qv::hub::testing::RunningService service;
    QNetworkAccessManager network;
};

TEST_F(UserExistenceCheckTest, TheServiceIsAskedAboutTheAddressAsTyped)
{
    service.signUp("cut+notes@example.com");
    const auto existing = check("cut+notes@example.com", endpoint("check-existing-user"));
    ASSERT_TRUE(existing);
    ASSERT_FALSE(existing->error);
    ASSERT_TRUE(existing->body);
    EXPECT_TRUE(existing->body->value("user_exists").toBool());
    EXPECT_FALSE(existing->body->value("banned_domain").toBool());

    const auto unknown = check("cut notes@example.com", endpoint("check-existing-user"));
    ASSERT_TRUE(unknown && unknown->body);
    EXPECT_FALSE(unknown->body->value("user_exists").toBool());
}

TEST_F(UserExistenceCheckTest, AnHttpErrorIsAFailedCheck)
{
    const auto answer = check("editor@example.com", endpoint("no-such-page"));
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->error);
    EXPECT_FALSE(answer->body);
}

}  // namespace
