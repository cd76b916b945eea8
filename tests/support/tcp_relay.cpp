// SPDX-License-Identifier: MIT
#include "tcp_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace testing_support {
namespace {

sockaddr_in loopbackAddress(const std::string& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    return address;
}

bool sendAll(int fd, const char* bytes, std::size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(fd, bytes, length, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

}  // namespace

TcpRelay::TcpRelay(std::string serverHost, int serverPort) : serverHost_(std::move(serverHost)), serverPort_(serverPort) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopbackAddress("127.0.0.1", 0);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 64);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
}

TcpRelay::~TcpRelay() {
    thread_.request_stop();
    if (thread_.joinable()) thread_.join();
    closeAll();
    ::close(listener_);
}

std::string TcpRelay::address() const { return "127.0.0.1:" + std::to_string(port_); }

void TcpRelay::cutOnAnswerAfter(std::size_t requestBytes) {
    const std::lock_guard lock(mutex_);
    for (Link& link : links_) link.requestBytes = 0;
    armedAt_ = requestBytes;
}

bool TcpRelay::isCut() const {
    const std::lock_guard lock(mutex_);
    return cut_;
}

int TcpRelay::connectionsWhileCut() const {
    const std::lock_guard lock(mutex_);
    return connectionsWhileCut_;
}

// What was under way when the link went never arrives: those connections are reset.
void TcpRelay::restore() {
    closeAll();
    const std::lock_guard lock(mutex_);
    cut_ = false;
    armedAt_ = 0;
}

void TcpRelay::serve(std::stop_token stop) {
    while (!stop.stop_requested()) {
        std::vector<pollfd> watched{{listener_, POLLIN, 0}};
        {
            const std::lock_guard lock(mutex_);
            for (const Link& link : links_) {
                if (cut_) break;  // nothing is carried while the link is cut
                watched.push_back({link.client, POLLIN, 0});
                watched.push_back({link.server, POLLIN, 0});
            }
        }
        if (::poll(watched.data(), watched.size(), 50) <= 0) continue;
        if (watched[0].revents != 0) accept();
        const std::lock_guard lock(mutex_);
        for (std::size_t index = 1; index < watched.size(); ++index) {
            if (watched[index].revents == 0) continue;
            const auto link = std::find_if(links_.begin(), links_.end(), [&](const Link& each) {
                return each.client == watched[index].fd || each.server == watched[index].fd;
            });
            if (link == links_.end()) continue;  // broken meanwhile
            if (!carry(*link, link->client == watched[index].fd)) {
                ::close(link->client);
                ::close(link->server);
                links_.erase(link);
            }
        }
    }
}

void TcpRelay::accept() {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    const std::lock_guard lock(mutex_);
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopbackAddress(serverHost_, serverPort_);
    if (!cut_ && ::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (server >= 0) ::close(server);
        ::close(client);
        return;
    }
    if (cut_) ++connectionsWhileCut_;
    links_.push_back({client, server, 0});
}

// Under mutex_. False when the link is to go: one side closed, or the link was cut.
bool TcpRelay::carry(Link& link, bool fromClient) {
    char buffer[65536];
    const ssize_t got = ::recv(fromClient ? link.client : link.server, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    const auto length = static_cast<std::size_t>(got);
    if (fromClient) {
        link.requestBytes += length;
        return sendAll(link.server, buffer, length);
    }
    if (armedAt_ > 0 && link.requestBytes >= armedAt_) {
        cut_ = true;
        connectionsWhileCut_ = 0;
        armedAt_ = 0;
        return true;  // the answer is lost; the link stays, carrying nothing
    }
    return sendAll(link.client, buffer, length);
}

void TcpRelay::closeAll() {
    const std::lock_guard lock(mutex_);
    for (const Link& link : links_) {
        ::close(link.client);
        ::close(link.server);
    }
    links_.clear();
}

}  // namespace testing_support
