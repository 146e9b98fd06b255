// A small HTTP/1.0 server on 127.0.0.1 for tests of downloads: it picks a
// free port, answers each connection on its own thread from a table of
// canned replies, and stops (joining every thread) when destroyed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class LocalHttpServer {
public:
    struct Reply {
        int status;
        std::string body;
        std::string location;  // for redirects
        bool send_length;      // false: the body ends when the connection closes
        int delay_ms;          // before anything is sent
        std::string content_type;  // none when empty
        Reply(int status = 200, std::string body = "", std::string location = "",
              bool send_length = true, int delay_ms = 0, std::string content_type = "")
            : status(status), body(std::move(body)), location(std::move(location)),
              send_length(send_length), delay_ms(delay_ms), content_type(std::move(content_type)) {}
    };

    LocalHttpServer() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(listener_, 16);
        socklen_t size = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &size);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { accept_loop(); });
    }

    ~LocalHttpServer() {
        stop_ = true;
        acceptor_.join();
        for (std::thread &t : workers_)
            t.join();
        close(listener_);
    }

    void route(const std::string &path, Reply reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        routes_[path] = std::move(reply);
    }

    std::string url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // The User-Agent header of every request so far.
    std::vector<std::string> user_agents() {
        std::lock_guard<std::mutex> lock(mutex_);
        return agents_;
    }

    // The path of every request so far, in the order they came.
    std::vector<std::string> paths() {
        std::lock_guard<std::mutex> lock(mutex_);
        return paths_;
    }

    // The most requests that were being answered at one moment.
    int most_at_once() const { return most_at_once_; }

private:
    void accept_loop() {
        // Bounded: the loop ends with the test, and never runs for more
        // than a minute in any case.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            pollfd p{listener_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            int client = accept(listener_, nullptr, nullptr);
            if (client < 0)
                continue;
            workers_.emplace_back([this, client] { serve(client); });
        }
    }

    void serve(int client) {
        int now = ++at_once_;
        for (int most = most_at_once_; now > most && !most_at_once_.compare_exchange_weak(most, now);) {
        }
        serve_request(client);
    }

    void serve_request(int client) {
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            pollfd p{client, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0)
                break;
            ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            request.append(buffer, (size_t)n);
        }
        std::string path;
        size_t space = request.find(' ');
        if (space != std::string::npos)
            path = request.substr(space + 1, request.find(' ', space + 1) - space - 1);
        Reply reply;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            size_t agent = request.find("User-Agent: ");
            if (agent != std::string::npos)
                agents_.push_back(request.substr(agent + 12, request.find("\r\n", agent) - agent - 12));
            paths_.push_back(path);
            auto it = routes_.find(path);
            if (it != routes_.end())
                reply = it->second;
            else
                reply = Reply{404, "<html>no such page</html>"};
        }
        for (int waited = 0; waited < reply.delay_ms && !stop_; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " Reply\r\n";
        if (!reply.location.empty())
            head += "Location: " + reply.location + "\r\n";
        if (!reply.content_type.empty())
            head += "Content-Type: " + reply.content_type + "\r\n";
        if (reply.send_length)
            head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        head += "Connection: close\r\n\r\n";
        std::string all = head + reply.body;
        // The request stops counting as in flight before its reply leaves:
        // a client that has read a whole reply may start its next request
        // before this thread runs again, and must not be counted twice.
        --at_once_;
        size_t sent = 0;
        while (sent < all.size()) {
            ssize_t n = send(client, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += (size_t)n;
        }
        close(client);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::map<std::string, Reply> routes_;
    std::vector<std::string> agents_;
    std::vector<std::string> paths_;
    std::atomic<int> at_once_{0};
    std::atomic<int> most_at_once_{0};
};

// A port on 127.0.0.1 that takes no connection: its listener's queue is
// full and never drained, so the kernel drops every new attempt and a
// client waits until its connect time-out, as for a host that is down.
class UnreachablePort {
public:
    UnreachablePort() {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        listen(listener_, 0);
        socklen_t size = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &size);
        port_ = ntohs(address.sin_port);
        // The one connection the queue holds.
        filler_ = socket(AF_INET, SOCK_STREAM, 0);
        connect(filler_, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }

    ~UnreachablePort() {
        close(filler_);
        close(listener_);
    }

    std::string url(const std::string &path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    int listener_ = -1;
    int filler_ = -1;
    int port_ = 0;
};
