// qv-hub: the service program, with the upload endpoints and the transcription worker. Prints "listening on <address>:<port>" once it serves.
//   qv-hub [--address 127.0.0.1] [--port 0] [--data <folder>] [--tls-cert <pem> --tls-key <pem>]
//          [--account-minutes 600]
#include "platform/foundation/FileUtilities.h"
#include "services/hub/HubServer.h"
#include "services/hub/TranscriptionWorker.h"
#include "services/hub/UploadRoutes.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <stdexcept>

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
    parser.addOptions({address, port, data, certificate, key, minutes});
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
    if (options.tlsCertificate.empty() != options.tlsKey.empty()) {
        std::fprintf(stderr, "qv-hub: give both --tls-cert and --tls-key\n");
        return 2;
    }
    try {
        qv::hub::HubServer server(options);
        QString error;
        if (!server.start(error)) {
            std::fprintf(stderr, "qv-hub: %s\n", qPrintable(error));
            return 1;
        }
        qv::hub::UploadRouteOptions uploads;
        uploads.dataFolder = options.dataFolder;
        uploads.scheme = options.tlsCertificate.empty() ? "http" : "https";
        qv::hub::TranscriptionWorker worker(server, qv::hub::mountUploadRoutes(server, uploads));
        std::printf("listening on %s:%u%s\n", qPrintable(options.address.toString()), server.port(),
                    options.tlsCertificate.empty() ? "" : " (TLS)");
        std::fflush(stdout);
        return application.exec();
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "qv-hub: %s\n", error.what());
        return 1;
    }
}
