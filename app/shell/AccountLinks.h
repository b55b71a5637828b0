// The addresses the application opens in the browser for the account and for support, and the
// link token made from an account identifier for the welcome e-mail's resend link.
#pragma once

#include <QString>
#include <QUrl>

namespace qv::shell {

// The hosts are configuration: the service's web application and the support site.
struct LinkHosts {
    QUrl webApplication;
    QUrl support;
};

QUrl buyMinutesUrl(const LinkHosts& hosts, const QString& uid);
QUrl supportArticlesUrl(const LinkHosts& hosts);
QUrl videoTutorialsUrl(const LinkHosts& hosts);
// The name part only when both names are known; the e-mail part only with an address.
QUrl submitTicketUrl(const LinkHosts& hosts, bool signedIn, const QString& firstName, const QString& lastName,
                     const QString& email);

// 36 characters in five hyphenated groups, or 28 characters; "unknown_user_id_format" otherwise.
QString scrambleUserUUID(const QString& uuid);

}  // namespace qv::shell
