#include "services/hub/HubSession.h"

#include "platform/rtdb/WireProtocol.h"

namespace qv::hub {

void HubSession::receive(ServerMessage message)
{
    if (message.answers) {
        if (message.conflict) {
            outbox.push_back(FrameBuilder("conflict").id(message.answers).value("current", message.current).take());
        } else if (message.error) {
            outbox.push_back(FrameBuilder("error").id(message.answers).text("code", "storage_failed")
                                 .text("message", message.error->message).take());
        } else {
            std::vector<DatabaseWrite> writes;
            for (const auto& path : message.changed)
                writes.push_back({path, message.root.at(path)});
            outbox.push_back(FrameBuilder("ack").id(message.answers).writes("writes", writes).take());
        }
        return;
    }
    std::vector<DatabaseWrite> changes;
    for (const auto& changed : message.changed) {
        for (const auto& listened : listens) {
            if (listened.contains(changed)) {
                changes.push_back({changed, message.root.at(changed)});
                break;
            }
            if (changed.contains(listened))
                changes.push_back({listened, message.root.at(listened)});
        }
    }
    if (!changes.empty())
        outbox.push_back(FrameBuilder("change").writes("writes", changes).take());
}

void HubSession::flush()
{
    if (!socket) {
        outbox.clear();
        return;
    }
    // Each frame goes as soon as it is written out: a transcript's frame is megabytes, and its
    // copies should not all be held at once.
    std::vector<std::string> frames = std::move(outbox);
    outbox.clear();
    for (auto& frame : frames) {
        socket->sendText(frame);
        std::string().swap(frame);
    }
}

}  // namespace qv::hub
