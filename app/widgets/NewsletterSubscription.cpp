#include "app/widgets/NewsletterSubscription.h"

#include "app/MailingListKit.h"
#include "platform/foundation/Log.h"

#include <QJsonDocument>

namespace qv {

QJsonObject newsletterSubscriptionParams(const QString& listId, const QString& email, const QString& firstName,
                                         const QString& lastName)
{
    return QJsonObject{
        {"id", listId},
        {"email", QJsonObject{{"email", email}}},
        {"merge_vars", QJsonObject{{"FNAME", firstName}, {"LNAME", lastName}}},
    };
}

void subscribeToNewsletter(MailingListKit& kit, const NewsletterSettings& settings, const QString& email,
                           const QString& firstName, const QString& lastName)
{
    kit.setApiKey(settings.apiKey);
    kit.callApiMethod(QStringLiteral("lists/subscribe"), newsletterSubscriptionParams(settings.listId, email, firstName, lastName),
                      [](const std::optional<MailingListResponse>&, const QByteArray& data,
                         const std::optional<MailingListError>& error) {
                          if (error) {
                              logWarning(QStringLiteral("newsletter subscription failed with error %1")
                                             .arg(error->description)
                                             .toStdString());
                              return;
                          }
                          const QJsonDocument answer = QJsonDocument::fromJson(data);
                          if (answer.isObject() && answer.object().value("email").isString())
                              logInfo("newsletter subscription succeeded!");
                      });
}

}  // namespace qv
