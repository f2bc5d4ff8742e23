// The ticks of a scheduler's timer, as it tells a service manager of each: the headless scheduler
// sends "WATCHDOG=1" to the datagram socket NOTIFY_SOCKET names at every tick of its timer. Bound
// here, the socket receives them, and the moments they arrived tell how late the timer ticked.
#pragma once

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

using SteadyTime = std::chrono::steady_clock::time_point;

class WatchdogTicks {
public:
    // Binds the socket at `path` (an earlier file there is removed); false when it cannot.
    bool listen(const std::string& path)
    {
        path_ = path;
        sockaddr_un address{};
        if (path.size() >= sizeof address.sun_path)
            return false;
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ::unlink(path.c_str());
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        timeval poll{0, 200000};  // so that the receiver sees the end
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &poll, sizeof poll);
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        receiver_ = std::thread([this] { receive(); });
        return true;
    }

    ~WatchdogTicks()
    {
        stop_ = true;
        if (receiver_.joinable())
            receiver_.join();
        if (socket_ >= 0) {
            ::close(socket_);
            ::unlink(path_.c_str());
        }
    }

    // The moments ticks arrived, so far.
    std::vector<SteadyTime> ticks() const
    {
        std::lock_guard lock(mutex_);
        return ticks_;
    }

    // Waits up to `seconds` for the first tick.
    bool waitForFirst(int seconds) const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (!ticks().empty())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    void receive()
    {
        char message[4096];
        while (!stop_) {
            const ssize_t n = ::recv(socket_, message, sizeof message - 1, 0);
            if (n <= 0)
                continue;
            message[n] = '\0';
            if (std::strstr(message, "WATCHDOG=1")) {
                std::lock_guard lock(mutex_);
                ticks_.push_back(std::chrono::steady_clock::now());
            }
        }
    }

    std::string path_;
    int socket_ = -1;
    std::atomic<bool> stop_{false};
    std::thread receiver_;
    mutable std::mutex mutex_;
    std::vector<SteadyTime> ticks_;
};

}  // namespace bench
