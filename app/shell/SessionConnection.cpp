#include "app/shell/SessionConnection.h"

namespace qv::shell {

SessionConnection::SessionConnection(RemoteConnection::Options options) : options_(std::move(options))
{
    options_.token.clear();
}

SessionConnection::~SessionConnection() { line_.reset(); }

void SessionConnection::setToken(const std::string& token)
{
    if (token == options_.token)
        return;
    dropLine();
    options_.token = token;
    connect();
}

void SessionConnection::renewToken(const std::string& token)
{
    options_.token = token;
    if (line_)
        line_->renewToken(token);
}

void SessionConnection::open(std::weak_ptr<BackendLink> link)
{
    link_ = std::move(link);
    opened_ = true;
    connect();
}

void SessionConnection::close()
{
    opened_ = false;
    line_.reset();
}

void SessionConnection::connect()
{
    if (!opened_ || options_.token.empty() || line_)
        return;
    line_ = std::make_unique<RemoteConnection>(options_);
    for (const auto& [key, entry] : listens_)
        line_->listen(entry.first);
    line_->open(link_);
}

void SessionConnection::dropLine()
{
    if (!line_)
        return;
    line_.reset();
    // The old line ends without a word to the client; tell it, so that what it sent and was
    // not answered goes again on the next line.
    if (auto link = link_.lock())
        link->receive(ServerMessage::of(ServerMessage::Kind::Disconnected));
}

void SessionConnection::listen(const DatabasePath& path)
{
    auto& entry = listens_[path.toString()];
    entry.first = path;
    if (entry.second++ == 0 && line_)
        line_->listen(path);
}

void SessionConnection::unlisten(const DatabasePath& path)
{
    auto found = listens_.find(path.toString());
    if (found == listens_.end())
        return;
    if (--found->second.second == 0) {
        listens_.erase(found);
        if (line_)
            line_->unlisten(path);
    }
}

void SessionConnection::write(const std::vector<DatabaseWrite>& writes, std::uint64_t writeId, const DatabaseValue* base,
                              const DatabaseValue* result)
{
    if (line_)
        line_->write(writes, writeId, base, result);
}

void SessionConnection::compareAndSet(const DatabasePath& path, const DatabaseValue& expected, const DatabaseValue& value,
                                      std::uint64_t writeId)
{
    if (line_)
        line_->compareAndSet(path, expected, value, writeId);
}

void SessionConnection::onDisconnect(const DatabaseWrite& write, std::uint64_t writeId)
{
    if (line_)
        line_->onDisconnect(write, writeId);
}

}  // namespace qv::shell
