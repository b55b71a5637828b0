// The newsletter subscription a new account may ask for at sign-up, through the mailing-list
// client. Its outcome is only logged: the sign-up never waits for it.
#pragma once

#include <QJsonObject>
#include <QString>

namespace qv {

class MailingListKit;

struct NewsletterSettings {
    // "<32 hexadecimal digits>-<data-centre code>"; configuration.
    QString apiKey;
    // The mailing list's identifier; configuration.
    QString listId;
};

// The parameters of "lists/subscribe": the list, the address and the two names.
QJsonObject newsletterSubscriptionParams(const QString& listId, const QString& email, const QString& firstName,
                                         const QString& lastName);

void subscribeToNewsletter(MailingListKit& kit, const NewsletterSettings& settings, const QString& email,
                           const QString& firstName, const QString& lastName);

}  // namespace qv
