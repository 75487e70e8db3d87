#include "tcp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace termina::link {

namespace {

// The socket library needs no start-up on POSIX systems; the check stands
// where a platform that has one asks for version 2.2.
bool startSocketLibrary() { return true; }
void releaseSocketLibrary() {}

bool resolve(const std::string& host, in_addr& out)
{
    if (!host.empty() && host[0] >= '0' && host[0] <= '9')
        return ::inet_aton(host.c_str(), &out) != 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res)
        return false;
    out = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    ::freeaddrinfo(res);
    return true;
}

}  // namespace

TcpLink::~TcpLink() { close(); }

uint16_t TcpLink::connect(const std::string& host, const std::string& port)
{
    active_ = true;
    auto fail = [this](uint16_t code, bool libraryStarted) {
        if (sock_ != kNoSocket) {
            ::close(static_cast<int>(sock_));
            sock_ = kNoSocket;
        }
        if (libraryStarted)
            releaseSocketLibrary();
        active_ = false;
        connected_ = false;
        return code;
    };
    if (!startSocketLibrary())
        return fail(80, false);

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (!resolve(host, addr.sin_addr))
        return fail(80, true);
    addr.sin_port = htons(static_cast<uint16_t>(std::strtoul(port.c_str(), nullptr, 10)));

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return fail(static_cast<uint16_t>(errno), true);
    sock_ = fd;

    timeval tv{kReceiveTimeoutMs / 1000, (kReceiveTimeoutMs % 1000) * 1000};
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0)
        return fail(80, true);

    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail(80, true);
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0) {
        if (errno != EINPROGRESS)
            return fail(80, true);
        pollfd p{fd, POLLOUT, 0};
        int r;
        do {
            r = ::poll(&p, 1, kConnectTimeoutMs);
        } while (r < 0 && errno == EINTR);
        int soErr = 0;
        socklen_t len = sizeof soErr;
        if (r <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soErr, &len) != 0 || soErr != 0)
            return fail(80, true);
    }
    if (::fcntl(fd, F_SETFL, flags) != 0)
        return fail(80, true);
    connected_ = true;
    return 0;
}

void TcpLink::close()
{
    if (connected_) {
        if (sock_ != kNoSocket)
            ::close(static_cast<int>(sock_));
        sock_ = kNoSocket;
        releaseSocketLibrary();
        connected_ = false;
    }
    active_ = false;
}

std::size_t TcpLink::send(const uint8_t* data, std::size_t n)
{
    if (sock_ == kNoSocket)
        return 0;
    std::size_t done = 0;
    while (done < n) {
        ssize_t w = ::send(static_cast<int>(sock_), data + done, n - done, MSG_NOSIGNAL);
        if (w > 0)
            done += static_cast<std::size_t>(w);
        else if (w < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return done;
}

std::size_t TcpLink::receive(uint8_t* buf, std::size_t max)
{
    if (sock_ == kNoSocket)
        return 0;
    for (;;) {
        ssize_t r = ::recv(static_cast<int>(sock_), buf, max, 0);
        if (r > 0)
            return static_cast<std::size_t>(r);
        if (r < 0 && errno == EINTR)
            continue;
        return 0;
    }
}

}  // namespace termina::link
