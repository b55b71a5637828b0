#include "app/shell/AccountLinks.h"

#include <QStringList>

namespace qv::shell {

namespace {

QUrl page(const QUrl& host, const QString& path)
{
    QUrl url = host;
    QString base = url.path();
    if (!base.endsWith('/'))
        base += '/';
    url.setPath(base + path);
    return url;
}

QString queryValue(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

}  // namespace

QUrl buyMinutesUrl(const LinkHosts& hosts, const QString& uid)
{
    QUrl url = page(hosts.webApplication, QStringLiteral("buy-minutes"));
    url.setQuery(QStringLiteral("uid=") + queryValue(uid), QUrl::StrictMode);
    return url;
}

QUrl supportArticlesUrl(const LinkHosts& hosts) { return hosts.support; }

QUrl videoTutorialsUrl(const LinkHosts& hosts) { return page(hosts.support, QStringLiteral("843503-Video-Tutorials")); }

QUrl submitTicketUrl(const LinkHosts& hosts, bool signedIn, const QString& firstName, const QString& lastName,
                     const QString& email)
{
    QUrl url = page(hosts.support, QStringLiteral("submit_ticket"));
    if (!signedIn)
        return url;
    QStringList parts;
    if (!firstName.isEmpty() && !lastName.isEmpty())
        parts << QStringLiteral("name=") + queryValue(firstName + ' ' + lastName);
    if (!email.isEmpty())
        parts << QStringLiteral("email=") + queryValue(email);
    if (!parts.isEmpty())
        url.setQuery(parts.join('&'), QUrl::StrictMode);
    return url;
}

QString scrambleUserUUID(const QString& uuid)
{
    if (uuid.size() == 36) {
        const QStringList g = uuid.split('-');
        // An identifier of this length with more or fewer groups has no token.
        if (g.size() == 5)
            return g[2] + g[0] + g[4] + g[3] + g[1];
    } else if (uuid.size() == 28) {
        return uuid.mid(14, 7) + uuid.mid(7, 7) + uuid.mid(21, 7) + uuid.mid(0, 7);
    }
    return QStringLiteral("unknown_user_id_format");
}

}  // namespace qv::shell
