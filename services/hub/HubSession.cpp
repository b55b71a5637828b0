#include "services/hub/HubSession.h"

#include "platform/rtdb/WireProtocol.h"

namespace qv::hub {

void HubSession::receive(ServerMessage message)
{
    if (message.answers) {
        if (message.conflict) {
            sendStored(FrameBuilder("conflict").id(message.answers).value("current", message.current).take());
        } else if (message.error) {
            sendStored(FrameBuilder("error").id(message.answers).text("code", "storage_failed")
                                 .text("message", message.error->message).take());
        } else {
            std::vector<DatabaseWrite> writes;
            for (const auto& path : message.changed)
                writes.push_back({path, message.root.at(path)});
            const bool prepared = preparedAck.id == message.answers && preparedAck.writes.size() == writes.size()
                && std::equal(writes.begin(), writes.end(), preparedAck.writes.begin(), [](const auto& a, const auto& b) {
                       return a.path == b.path && a.value.sameNode(b.value);
                   });
            sendStored(prepared ? std::move(preparedAck.frame) : FrameBuilder("ack").id(message.answers).writes("writes", writes).take());
        }
        preparedAck = {};
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
        sendStored(FrameBuilder("change").writes("writes", changes).take());
}

void HubSession::queue(std::uint64_t batch)
{
    std::vector<Outgoing> frames = std::move(outbox);
    outbox.clear();
    for (auto& frame : frames) {
        if (held.empty() && !frame.stored) {
            if (socket)
                socket->sendText(frame.frame);
        } else {
            held.emplace_back(batch, std::move(frame.frame));
        }
    }
}

void HubSession::release(std::uint64_t committed)
{
    // Each frame goes as soon as it is written out: a transcript's frame is megabytes, and its
    // copies should not all be held at once.
    while (!held.empty() && held.front().first <= committed) {
        if (socket)
            socket->sendText(held.front().second);
        held.pop_front();
    }
}

void HubSession::flushClosing()
{
    held.clear();
    for (const auto& frame : outbox)
        if (!frame.stored && socket)
            socket->sendText(frame.frame);
    outbox.clear();
}

}  // namespace qv::hub
