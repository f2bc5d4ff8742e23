// A small HTTP/1.1 client for the web benchmark: GET requests on one kept-alive connection, the
// whole answer read (Content-Length or chunked) before the next. Plain sockets, so that the load
// it puts on the machine is the server's, not a framework's.
#pragma once

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace bench {

struct HttpAnswer {
    int status = 0;  // 0: no answer (the connection failed or broke)
    std::string body;
    std::string problem;  // why there is no answer
};

class HttpClient {
public:
    HttpClient(std::string host, int port, int timeoutSeconds = 30)
        : host_(std::move(host)), port_(port), timeoutSeconds_(timeoutSeconds)
    {
    }
    ~HttpClient() { disconnect(); }
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // A kept-alive connection that the server closed before answering is opened again once.
    HttpAnswer get(const std::string& target)
    {
        HttpAnswer answer = attempt(target);
        if (answer.status == 0 && reused_ && closedBeforeAnswer_) {
            disconnect();
            answer = attempt(target);
        }
        return answer;
    }

private:
    HttpAnswer attempt(const std::string& target)
    {
        HttpAnswer answer;
        reused_ = socket_ >= 0;
        closedBeforeAnswer_ = false;
        if (!reused_ && !connect(answer.problem))
            return answer;
        const std::string request = "GET " + target + " HTTP/1.1\r\nHost: " + host_ + ":" + std::to_string(port_)
            + "\r\nConnection: keep-alive\r\n\r\n";
        const bool sent = sendAll(request);
        if (!sent)
            closedBeforeAnswer_ = true;
        if (!sent || !readAnswer(answer)) {
            if (answer.problem.empty())
                answer.problem = errno ? std::strerror(errno) : "connection closed";
            answer.status = 0;
            disconnect();
        }
        return answer;
    }

    bool connect(std::string& problem)
    {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{timeoutSeconds_, 0};
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        const int on = 1;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port_));
        inet_pton(AF_INET, host_.c_str(), &address.sin_addr);
        if (::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            problem = std::string("connect: ") + std::strerror(errno);
            disconnect();
            return false;
        }
        buffer_.clear();
        return true;
    }

    void disconnect()
    {
        if (socket_ >= 0)
            ::close(socket_);
        socket_ = -1;
    }

    bool sendAll(const std::string& bytes)
    {
        for (size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += size_t(n);
        }
        return true;
    }

    // More bytes into buffer_; false when the connection ended or timed out.
    bool receive()
    {
        char chunk[65536];
        const ssize_t n = ::recv(socket_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            if (n == 0)
                errno = 0;
            return false;
        }
        buffer_.append(chunk, size_t(n));
        return true;
    }

    // A line ended by CR LF, taken from the buffer.
    bool line(std::string& text)
    {
        size_t end;
        while ((end = buffer_.find("\r\n")) == std::string::npos) {
            if (!receive())
                return false;
        }
        text = buffer_.substr(0, end);
        buffer_.erase(0, end + 2);
        return true;
    }

    bool take(size_t count, std::string& into)
    {
        while (buffer_.size() < count) {
            if (!receive())
                return false;
        }
        into.append(buffer_, 0, count);
        buffer_.erase(0, count);
        return true;
    }

    static std::string lower(std::string text)
    {
        for (char& c : text)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    bool readAnswer(HttpAnswer& answer)
    {
        std::string status;
        if (!line(status)) {
            closedBeforeAnswer_ = errno == 0 || errno == ECONNRESET || errno == EPIPE;
            return false;
        }
        if (status.rfind("HTTP/1.", 0) != 0 || status.size() < 12) {
            answer.problem = "not an HTTP answer: " + status.substr(0, 40);
            return false;
        }
        answer.status = std::atoi(status.c_str() + 9);
        long long length = -1;
        bool chunked = false;
        bool close = false;
        for (std::string header; line(header) && !header.empty();) {
            const std::string name = lower(header.substr(0, header.find(':')));
            const std::string value = lower(header.substr(header.find(':') + 1));
            if (name == "content-length")
                length = std::atoll(value.c_str());
            else if (name == "transfer-encoding" && value.find("chunked") != std::string::npos)
                chunked = true;
            else if (name == "connection" && value.find("close") != std::string::npos)
                close = true;
        }
        const bool read = chunked ? readChunks(answer.body) : length >= 0 ? take(size_t(length), answer.body) : false;
        if (!read) {
            answer.problem = length < 0 && !chunked ? "answer without a length" : "answer cut off";
            return false;
        }
        if (close)
            disconnect();
        return true;
    }

    bool readChunks(std::string& body)
    {
        for (std::string size; line(size);) {
            const size_t count = std::strtoul(size.c_str(), nullptr, 16);
            std::string end;
            if (count == 0)
                return line(end);  // no trailers are sent
            if (!take(count, body) || !line(end))
                return false;
        }
        return false;
    }

    std::string host_;
    int port_;
    int timeoutSeconds_;
    int socket_ = -1;
    bool reused_ = false;
    bool closedBeforeAnswer_ = false;
    std::string buffer_;
};

}  // namespace bench
