#include "sdk/telemetry/Internals/Util/Platform/ZENetworkMonitor.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

namespace ze {

namespace {

// /proc/net/route lists IPv4 routes: interface, destination (hex), ...; destination 0 is default.
bool hasIpv4DefaultRoute(bool& readable)
{
    std::ifstream in("/proc/net/route");
    if (!in) {
        return false;
    }
    readable = true;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string interface, destination;
        fields >> interface >> destination;
        if (destination == "00000000" && interface != "lo") {
            return true;
        }
    }
    return false;
}

// /proc/net/ipv6_route: destination (32 hex), prefix length, ..., interface last.
bool hasIpv6DefaultRoute(bool& readable)
{
    std::ifstream in("/proc/net/ipv6_route");
    if (!in) {
        return false;
    }
    readable = true;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string destination, prefix, word, interface;
        fields >> destination >> prefix;
        while (fields >> word) {
            interface = word;
        }
        if (destination == std::string(32, '0') && prefix == "00" && interface != "lo") {
            return true;
        }
    }
    return false;
}

} // namespace

ZELinuxNetworkMonitor::~ZELinuxNetworkMonitor()
{
    stop();
}

bool ZELinuxNetworkMonitor::flags(std::uint32_t& flags) const
{
    bool readable = false;
    const bool reachable = hasIpv4DefaultRoute(readable) || hasIpv6DefaultRoute(readable);
    if (!readable) {
        return false;
    }
    flags = reachable ? kZEReachabilityReachable : 0;
    return true;
}

bool ZELinuxNetworkMonitor::start(ChangeHandler handler)
{
    std::lock_guard lock(mutex_);
    if (watcher_.joinable()) {
        return true;
    }
    socket_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (socket_ < 0) {
        return false;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        ::close(socket_);
        socket_ = -1;
        return false;
    }
    watcher_ = std::thread([this, handler = std::move(handler)] {
        std::uint32_t last = 0;
        bool known = flags(last);
        char buffer[8192];
        for (;;) {
            pollfd fds[2] = {{socket_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                continue;
            }
            if (fds[1].revents != 0) {
                return;
            }
            // The messages only say that something changed; the routes are read again. ENOBUFS
            // means messages were lost to an overflow, the last change perhaps among them.
            if (::recv(socket_, buffer, sizeof buffer, 0) < 0 && errno != ENOBUFS) {
                continue;
            }
            std::uint32_t now = 0;
            const bool readable = flags(now);
            if (readable && (!known || now != last)) {
                known = true;
                last = now;
                handler();
            }
        }
    });
    return true;
}

void ZELinuxNetworkMonitor::stop()
{
    std::lock_guard lock(mutex_);
    if (!watcher_.joinable()) {
        return;
    }
    const char wake = 1;
    (void)::write(wakePipe_[1], &wake, 1);
    watcher_.join();
    ::close(socket_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    socket_ = -1;
    wakePipe_[0] = wakePipe_[1] = -1;
}

} // namespace ze
