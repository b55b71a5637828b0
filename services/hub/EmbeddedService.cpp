#include "services/hub/EmbeddedService.h"

#include "platform/foundation/FileUtilities.h"
#include "services/hub/TranscriptionWorker.h"
#include "services/hub/UploadRoutes.h"

#include <stdexcept>

namespace qv::hub {

std::filesystem::path EmbeddedService::defaultFolder() { return applicationDataFolder() / "service"; }

EmbeddedService::~EmbeddedService()
{
    if (!anchor_)
        return;
    // The server is a child of the anchor: all end on their own thread, the worker before the
    // server it writes to.
    QMetaObject::invokeMethod(
        anchor_,
        [this] {
            {
                std::lock_guard lock(tree_->mutex);
                tree_->database = nullptr;
            }
            delete worker_;
            delete anchor_;
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

bool EmbeddedService::start(QString& error, const std::filesystem::path& folder)
{
    if (anchor_) {
        error = "the embedded service is already running";
        return false;
    }
    thread_.setObjectName("embedded service");
    thread_.start();
    anchor_ = new QObject;
    anchor_->moveToThread(&thread_);
    QMetaObject::invokeMethod(
        anchor_,
        [&] {
            try {
                TranscriptionWorker::ModelCheck model{transcriber::transcriberUnavailableReason()};
                HubServer::Options options;
                options.dataFolder = folder;
                // It serves the one person at this computer: there is nobody to verify the
                // address for.
                options.verifyNewAccounts = true;
                auto* server = new HubServer(options);
                server->setParent(anchor_);
                if (server->start(error)) {
                    worker_ = new TranscriptionWorker(*server, mountUploadRoutes(*server, {folder}), std::move(model));
                    port_ = server->port();
                    std::lock_guard lock(tree_->mutex);
                    tree_->database = &server->database();
                }
            } catch (const std::runtime_error& failure) {
                error = QString::fromStdString(failure.what());
            }
        },
        Qt::BlockingQueuedConnection);
    return port_ != 0;
}

std::function<DatabaseValue()> EmbeddedService::treeReader() const
{
    return [tree = tree_] {
        std::lock_guard lock(tree->mutex);
        return tree->database ? tree->database->root() : DatabaseValue();
    };
}

QUrl EmbeddedService::databaseUrl() const { return QUrl("ws://127.0.0.1:" + QString::number(port_) + "/"); }

QUrl EmbeddedService::httpUrl() const { return QUrl("http://127.0.0.1:" + QString::number(port_) + "/"); }

}  // namespace qv::hub
