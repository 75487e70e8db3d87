// Shared pieces of the benchmarks: a temporary driver root with the INI file
// pointing at a simulated register, the driver connected over a
// pseudo-terminal or loopback TCP, CPU time of the process, and durations
// taken from the environment so that the smoke run stays short.
#pragma once

#include "ini.h"
#include "simulator.h"
#include "termina1.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace termina::bench {

enum class Transport { Pty, Tcp };

inline const char* transportName(Transport t) { return t == Transport::Pty ? "pty" : "tcp"; }

// A driver root of its own ($TERMINA_ROOT) in the temporary directory,
// removed again at the end.
class TempRoot {
public:
    TempRoot()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "termina-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
        ::setenv("TERMINA_ROOT", path_.c_str(), 1);
        std::filesystem::create_directories(iniDir());
        std::filesystem::create_directories(path_ + "/dev");
    }
    ~TempRoot()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;

    const std::string& path() const { return path_; }
    std::string iniDir() const { return path_ + "/c/Program Files/Orvelsoft"; }
    std::string ini() const { return iniDir() + "/TERMINA.INI"; }
    std::string com1() const { return path_ + "/dev/com1"; }

    // Points the INI file at COM1 or at the TCP port; the next
    // TRMA_CheckPort uses it.
    void useTransport(Transport t, uint16_t tcpPort = 0) const
    {
        ini::writeString(ini(), "General", "Port", "1");
        ini::writeString(ini(), "General", "pswd", "WKRD");
        ini::writeString(ini(), "TCP", "Mode", t == Transport::Tcp ? "1" : "0");
        ini::writeString(ini(), "TCP", "HostName", "127.0.0.1");
        ini::writeString(ini(), "TCP", "HostPort", std::to_string(tcpPort));
    }

private:
    std::string path_;
};

// Runs a driver call; its failure (the bare result code) becomes the return
// value, success gives 0.
template <class F>
int driverCall(F&& f)
{
    try {
        return f();
    } catch (uint16_t code) {
        return code;
    }
}

// User plus system CPU seconds of this process so far.
inline double processCpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto sec = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

inline double secondsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A number of seconds from the environment (the full run uses the default,
// the smoke run sets small values).
inline double envSeconds(const char* name, double fallback)
{
    const char* v = std::getenv(name);
    if (!v || !*v)
        return fallback;
    char* end = nullptr;
    double d = std::strtod(v, &end);
    return end != v && d >= 0 ? d : fallback;
}

// Wire time of n bytes at a line rate, 8N1.
inline double wireSeconds(double bytes, unsigned baud) { return 10.0 * bytes / baud; }

}  // namespace termina::bench
