// The TCP link on Windows, over Winsock 2.2.  The socket library is started
// for each connection and released when it closes.
#include "tcp.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>

namespace termina::link {

namespace {

bool startSocketLibrary()
{
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    if (data.wVersion != MAKEWORD(2, 2)) {
        ::WSACleanup();
        return false;
    }
    return true;
}

void releaseSocketLibrary() { ::WSACleanup(); }

bool resolve(const std::string& host, in_addr& out)
{
    if (!host.empty() && host[0] >= '0' && host[0] <= '9') {
        const unsigned long a = ::inet_addr(host.c_str());
        if (a == INADDR_NONE && host != "255.255.255.255")
            return false;
        out.s_addr = a;
        return true;
    }
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

SOCKET socketOf(std::intptr_t s) { return static_cast<SOCKET>(s); }

bool setBlocking(SOCKET s, bool blocking)
{
    u_long nonBlocking = blocking ? 0 : 1;
    return ::ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

}  // namespace

TcpLink::~TcpLink() { close(); }

uint16_t TcpLink::connect(const std::string& host, const std::string& port)
{
    active_ = true;
    auto fail = [this](uint16_t code, bool libraryStarted) {
        if (sock_ != kNoSocket) {
            ::closesocket(socketOf(sock_));
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
    addr.sin_port = htons(static_cast<u_short>(std::strtoul(port.c_str(), nullptr, 10)));

    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return fail(static_cast<uint16_t>(::WSAGetLastError()), true);
    sock_ = static_cast<std::intptr_t>(s);

    const DWORD timeout = kReceiveTimeoutMs;
    if (::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout) != 0)
        return fail(80, true);

    if (!setBlocking(s, false))
        return fail(80, true);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK)
            return fail(80, true);
        // Writable means connected; a refused connect shows in the
        // exception set instead.
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval tv{kConnectTimeoutMs / 1000, (kConnectTimeoutMs % 1000) * 1000};
        if (::select(0, nullptr, &writable, &failed, &tv) <= 0 || !FD_ISSET(s, &writable))
            return fail(80, true);
    }
    if (!setBlocking(s, true))
        return fail(80, true);
    connected_ = true;
    return 0;
}

void TcpLink::close()
{
    if (connected_) {
        if (sock_ != kNoSocket)
            ::closesocket(socketOf(sock_));
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
        const int w = ::send(socketOf(sock_), reinterpret_cast<const char*>(data + done), static_cast<int>(n - done), 0);
        if (w <= 0)
            break;
        done += static_cast<std::size_t>(w);
    }
    return done;
}

std::size_t TcpLink::receive(uint8_t* buf, std::size_t max)
{
    if (sock_ == kNoSocket)
        return 0;
    // The receive time-out ends a silent wait with an error: nothing came.
    const int r = ::recv(socketOf(sock_), reinterpret_cast<char*>(buf), static_cast<int>(max), 0);
    return r > 0 ? static_cast<std::size_t>(r) : 0;
}

}  // namespace termina::link
