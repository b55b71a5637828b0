// qv-hub: the service program, with the upload endpoints and the transcription worker. Prints "listening on <address>:<port>" once it serves.
//   qv-hub [--address 127.0.0.1] [--port 0] [--data <folder>] [--tls-cert <pem> --tls-key <pem>]
//          [--account-minutes 600]
// New accounts' verification links go to its log. To verify an account of a running service:
//   qv-hub --data <folder> --address <address> --port <port> [--tls-cert <pem>] --verify-email <e-mail>
#include "platform/foundation/FileUtilities.h"
#include "services/hub/HubServer.h"
#include "services/hub/TranscriptionWorker.h"
#include "services/hub/UploadRoutes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

// Every connection takes a descriptor, and the soft limit is often far below what the system
// allows the service: it takes all it may.
void raiseDescriptorLimit()
{
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= files.rlim_max)
        return;
    // An unlimited hard limit is not a value the soft one may take.
    files.rlim_cur = files.rlim_max == RLIM_INFINITY ? std::max<rlim_t>(files.rlim_cur, 1 << 20) : files.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &files) != 0)
        std::perror("qv-hub: cannot raise the open-file limit");
}

// Opens the verification link of the account of `email` on the running service; 0 when it
// answers that the account is verified.
int verifyEmail(QCoreApplication& application, const qv::hub::HubServer::Options& options, const QString& email)
{
    const qv::AuthBackend accounts(qv::AuthBackend::Options{options.dataFolder / "accounts", 1, {}});
    const std::optional<qv::User> account = accounts.accountByEmail(email.toStdString());
    const QByteArray key = qv::hub::AccountVerification::key(options.dataFolder, false);
    if (!account || key.isEmpty()) {
        std::fprintf(stderr, "qv-hub: no account of %s in %s\n", qPrintable(email), options.dataFolder.c_str());
        return 1;
    }
    QUrl url;
    url.setScheme(options.tlsCertificate.empty() ? "http" : "https");
    url.setHost(options.address.toString());
    url.setPort(options.port);
    url.setPath("/auth/verify");
    QUrlQuery query;
    query.addQueryItem("account", QString::fromStdString(account->uid));
    query.addQueryItem("code", QString::fromLatin1(qv::hub::AccountVerification::code(key, account->uid)));
    url.setQuery(query);
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(QNetworkRequest(url));
    // The service's own certificate, which may be self-signed.
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [reply] { reply->ignoreSslErrors(); });
    QObject::connect(reply, &QNetworkReply::finished, &application, &QCoreApplication::quit);
    application.exec();
    const QByteArray answer = reply->readAll();
    if (reply->error() != QNetworkReply::NoError) {
        std::fprintf(stderr, "qv-hub: %s: %s\n", qPrintable(reply->errorString()), answer.constData());
        return 1;
    }
    std::printf("%s", answer.constData());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("The realtime database and accounts shared by every computer of a team.");
    parser.addHelpOption();
    QCommandLineOption address("address", "Address to listen on (default 127.0.0.1).", "address", "127.0.0.1");
    QCommandLineOption port("port", "Port to listen on; 0 picks a free one (default 0).", "port", "0");
    QCommandLineOption data("data", "Folder of the stores (default: <XDG data>/<application>/service).", "folder");
    QCommandLineOption certificate("tls-cert", "PEM certificate: serve TLS only (needed off loopback).", "file");
    QCommandLineOption key("tls-key", "PEM private key of the certificate.", "file");
    QCommandLineOption minutes("account-minutes", "Minutes of transcription a new account is given (default 600).",
                               "minutes", "600");
    
    QCommandLineOption verify("verify-email", "Verify the account of this e-mail address on the running service "
                                              "of --data at --address and --port, then end.", "e-mail");
    parser.addOptions({address, port, data, certificate, key, minutes, verify});
    parser.process(application);

    qv::hub::HubServer::Options options;
    if (!options.address.setAddress(parser.value(address))) {
        std::fprintf(stderr, "qv-hub: \"%s\" is not an address\n", qPrintable(parser.value(address)));
        return 2;
    }
    bool portValid = false;
    uint portNumber = parser.value(port).toUInt(&portValid);
    if (!portValid || portNumber > 65535) {
        std::fprintf(stderr, "qv-hub: \"%s\" is not a port\n", qPrintable(parser.value(port)));
        return 2;
    }
    options.port = static_cast<quint16>(portNumber);
    bool minutesValid = false;
    options.newAccountMinutes = parser.value(minutes).toLongLong(&minutesValid);
    if (!minutesValid || options.newAccountMinutes < 0) {
        std::fprintf(stderr, "qv-hub: \"%s\" is not a number of minutes\n", qPrintable(parser.value(minutes)));
        return 2;
    }
    options.dataFolder = parser.isSet(data) ? std::filesystem::path(parser.value(data).toStdString())
                                            : qv::applicationDataFolder() / "service";
    options.tlsCertificate = parser.value(certificate).toStdString();
    options.tlsKey = parser.value(key).toStdString();
    if (parser.isSet(verify))
        return verifyEmail(application, options, parser.value(verify));
    if (options.tlsCertificate.empty() != options.tlsKey.empty()) {
        std::fprintf(stderr, "qv-hub: give both --tls-cert and --tls-key\n");
        return 2;
    }
    raiseDescriptorLimit();
    try {
        qv::hub::TranscriptionWorker::ModelCheck model{qv::transcriber::transcriberUnavailableReason()};
        qv::hub::HubServer server(options);
        QString error;
        if (!server.start(error)) {
            std::fprintf(stderr, "qv-hub: %s\n", qPrintable(error));
            return 1;
        }
        qv::hub::UploadRouteOptions uploads;
        uploads.dataFolder = options.dataFolder;
        uploads.scheme = options.tlsCertificate.empty() ? "http" : "https";
        qv::hub::TranscriptionWorker worker(server, qv::hub::mountUploadRoutes(server, uploads), std::move(model));
        std::printf("listening on %s:%u%s\n", qPrintable(options.address.toString()), server.port(),
                    options.tlsCertificate.empty() ? "" : " (TLS)");
        std::fflush(stdout);
        return application.exec();
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "qv-hub: %s\n", error.what());
        return 1;
    }
}
