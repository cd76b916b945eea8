// SPDX-License-Identifier: MIT
// The network between a client and a server, which a test can cut: every connection to the
// relay's port is carried on to the server's. Armed, it cuts the link at the moment the
// server answers a request of at least so many bytes: that request got through whole, its
// answer is lost, and nothing more passes on any connection, old or new, as when a cable is
// pulled. Restored, it resets every connection of before (their requests never arrive) and
// carries new ones again. So a test can make a server take a job without the client ever
// hearing of it.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class TcpRelay {
public:
    TcpRelay(std::string serverHost, int serverPort);
    ~TcpRelay();
    TcpRelay(const TcpRelay&) = delete;
    TcpRelay& operator=(const TcpRelay&) = delete;

    std::string address() const;  // "127.0.0.1:port", where clients connect

    // Counts what each connection carries to the server from now on, and cuts the link once
    // the server answers on a connection that has carried at least `requestBytes`.
    void cutOnAnswerAfter(std::size_t requestBytes);
    bool isCut() const;
    int connectionsWhileCut() const;  // made since the link was cut
    void restore();

private:
    struct Link {
        int client = -1;
        int server = -1;
        std::size_t requestBytes = 0;  // since the relay was armed
    };
    void serve(std::stop_token stop);
    void accept();
    bool carry(Link& link, bool fromClient);
    void closeAll();

    std::string serverHost_;
    int serverPort_;
    int listener_ = -1;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::vector<Link> links_;
    std::size_t armedAt_ = 0;  // 0: not armed
    bool cut_ = false;
    int connectionsWhileCut_ = 0;
    std::jthread thread_;
};

}  // namespace testing_support
