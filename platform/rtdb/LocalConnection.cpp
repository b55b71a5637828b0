#include "platform/rtdb/LocalConnection.h"

namespace qv {

void LocalConnection::open(std::weak_ptr<BackendLink> link)
{
    close();
    link_ = link;
    ServerMessage connected;
    connected.kind = ServerMessage::Kind::Connected;
    connected.wholeTree = true;
    connection_ = backend_.connect(link, connected.root);
    if (auto target = link.lock())
        target->receive(std::move(connected));
}

void LocalConnection::close()
{
    if (!connection_)
        return;
    backend_.disconnect(connection_);
    connection_ = 0;
    if (auto target = link_.lock()) {
        ServerMessage message;
        message.kind = ServerMessage::Kind::Disconnected;
        target->receive(std::move(message));
    }
}

void LocalConnection::write(const std::vector<DatabaseWrite>& writes, std::uint64_t writeId, const DatabaseValue* base,
                            const DatabaseValue* result)
{
    backend_.write(connection_, writes, writeId, base, result);
}

void LocalConnection::compareAndSet(const DatabasePath& path, const DatabaseValue& expected, const DatabaseValue& value,
                                    std::uint64_t writeId)
{
    backend_.compareAndSet(connection_, path, expected, value, writeId);
}

void LocalConnection::onDisconnect(const DatabaseWrite& write, std::uint64_t)
{
    backend_.onDisconnect(connection_, write);
}

}  // namespace qv
