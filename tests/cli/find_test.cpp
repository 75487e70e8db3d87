// SPDX-License-Identifier: GPL-3.0-or-later
// trma find against simulated registers on pseudo terminals: two registers
// at different speeds, a link to a missing device and a port another
// process holds; a thread per port; --save; Ctrl+C.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "find_lists.h"
#include "ini.h"
#include "port_check.h"
#include "run_process.h"
#include "trma_fixture.h"
#include "simulator.h"
#include "temp_dir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using termina::cli::findHolders;
using termina::sim::Config;
using termina::sim::Simulator;
using termina::test::ProcessResult;
using termina::test::runProcess;
using termina::test::TempDir;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// A process of its own holding a device open with the driver's lock, until
// the object goes.
class Holder {
 public:
  explicit Holder(const std::string& device) {
    int release[2], ready[2];
    if (::pipe(release) != 0 || ::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(release[1]);
      ::close(ready[0]);
      const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) ::_exit(1);
      if (::write(ready[1], "1", 1) != 1) ::_exit(1);
      char c;
      while (::read(release[0], &c, 1) < 0) {}
      ::_exit(0);
    }
    ::close(release[0]);
    ::close(ready[1]);
    release_ = release[1];
    char c;
    ready_ = ::read(ready[0], &c, 1) == 1;  // ends at once if the child failed
    ::close(ready[0]);
  }
  bool ready() const { return ready_; }
  ~Holder() {
    ::close(release_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool ready_ = false;
};

class Find : public termina::test::TrmaRoot {
 protected:
  ProcessResult trma(std::vector<std::string> args) { return runTrma({"--timeout", "2"}, args); }

  std::unique_ptr<Simulator> registerAt(int com, unsigned speed, uint16_t version) {
    Config cfg;
    cfg.version = version;
    cfg.ptySpeed = speed;
    auto sim = std::make_unique<Simulator>(cfg);
    sim->openPty(root + "/dev/com" + std::to_string(com));
    return sim;
  }
};

// Each register with its speed and model, the missing and the busy port with
// their reasons.  (That the ports are probed side by side is shown by the
// threads test below, not by timing the scan.)
TEST_F(Find, FindsRegistersAtTheirSpeedsAndExplainsUnusablePorts) {
  auto fast = registerAt(1, 115200, 201);
  auto slow = registerAt(2, 9600, 301);
  ASSERT_EQ(::symlink(dir.file("unplugged").c_str(), (root + "/dev/com3").c_str()), 0);
  Simulator idle;  // a line nobody answers on, held by another process
  const std::string held = idle.openPty(root + "/dev/com4");
  Holder holder(held);
  ASSERT_TRUE(holder.ready());
  std::filesystem::create_directories(root + "/dev/serial/by-id");
  const std::string byId = root + "/dev/serial/by-id/usb-Test_Register_0001-if00-port0";
  ASSERT_EQ(::symlink(fast->ptyPath().c_str(), byId.c_str()), 0);

  const std::vector<std::string> speeds{"--speeds", "19200,4800,9600,115200"};
  auto args = speeds;
  args.insert(args.begin(), {"find", "--ports", "1-4"});
  const ProcessResult all = trma(args);
  ASSERT_FALSE(all.timedOut);
  EXPECT_EQ(all.exitCode, 0) << all.err;
  EXPECT_TRUE(has(all.out, "COM1: " + fast->ptyPath() + " (" + byId + "), 115200 бод: версия 201, ТЕРМИНА-2\n"))
      << all.out;
  EXPECT_TRUE(has(all.out, "COM2: " + slow->ptyPath() + ", 9600 бод: версия 301, ТЕРМИНА-3\n")) << all.out;
  EXPECT_TRUE(has(all.out, "COM3: Устройство " + root + "/dev/com3 не существует")) << all.out;
  EXPECT_TRUE(has(all.out, "COM4: Устройство " + held + " занято другой программой. Порт открыт программой: "))
      << all.out;
  EXPECT_TRUE(has(all.out, "(pid " + std::to_string(holder.pid()) + ")")) << all.out;
  EXPECT_TRUE(has(all.err, "COM2 " + slow->ptyPath() + ": 4800 бод: нет ответа")) << "progress on stderr: " << all.err;
  EXPECT_TRUE(idle.requests().empty()) << "a busy port is not probed";
  EXPECT_FALSE(std::filesystem::exists(ini)) << "the scan leaves the user's INI file alone";
}

TEST_F(Find, SaveWritesPortAndSpeedForOneRegisterAndNothingForTwo) {
  auto sim = registerAt(2, 9600, 201);
  std::filesystem::create_directories(std::filesystem::path(ini).parent_path());
  ASSERT_TRUE(termina::ini::writeString(ini, "TCP", "Mode", "1"));  // a gateway set up before
  ProcessResult r = trma({"find", "--ports", "1,2", "--speeds", "19200,9600", "--save"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(termina::ini::readInt(ini, "General", "Port", 0), 2u);
  EXPECT_EQ(termina::ini::readInt(ini, "General", "Speed", 0), 9600u);
  EXPECT_EQ(termina::ini::readInt(ini, "TCP", "Mode", 7), 0u);
  r = trma({"version"});
  EXPECT_EQ(r.exitCode, 0) << "later trma calls use the saved port and speed: " << r.err;
  EXPECT_EQ(r.out, "201\n");

  auto second = registerAt(3, 19200, 301);
  termina::ini::writeString(ini, "General", "Port", "9");
  r = trma({"find", "--ports", "1-3", "--speeds", "19200,9600", "--save"});
  EXPECT_EQ(r.exitCode, 102) << r.err;
  EXPECT_TRUE(has(r.err, "несколько регистраторов: COM2")) << r.err;
  EXPECT_TRUE(has(r.err, "COM3")) << r.err;
  EXPECT_EQ(termina::ini::readInt(ini, "General", "Port", 0), 9u) << "nothing saved";

  r = trma({"find", "--ports", "1", "--speeds", "9600", "--save"});
  EXPECT_EQ(r.exitCode, 19) << "no register: failure, and nothing saved";
  EXPECT_EQ(termina::ini::readInt(ini, "General", "Port", 0), 9u);
}

TEST_F(Find, CtrlCStopsAtOnceAndClosesEveryPort) {
  termina::sim::Faults silent;
  silent.silent = true;
  std::vector<std::unique_ptr<Simulator>> sims;
  for (int com = 1; com <= 3; ++com) {
    sims.push_back(std::make_unique<Simulator>());
    sims.back()->openPty(root + "/dev/com" + std::to_string(com));
    sims.back()->setFaults(silent);
  }
  int errPipe[2];
  ASSERT_EQ(::pipe2(errPipe, O_CLOEXEC), 0);
  std::vector<std::string> store{TRMA_EXE, "--root", root, "find", "--ports", "1-3"};
  std::vector<char*> argv;
  for (auto& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(errPipe[1], 1);
    ::dup2(errPipe[1], 2);
    ::execv(TRMA_EXE, argv.data());
    ::_exit(127);
  }
  ::close(errPipe[1]);
  // Every port is open and being probed.
  for (auto& s : sims) ASSERT_TRUE(s->waitForEvents(1, 10s));
  const auto start = Clock::now();
  ASSERT_EQ(::kill(pid, SIGINT), 0);
  // The output pipe ends when trma and every process it started have gone.
  std::string text;
  char buf[4096];
  pollfd p{errPipe[0], POLLIN, 0};
  ssize_t n = 1;
  while (n > 0 && Clock::now() - start < 10s) {
    if (::poll(&p, 1, 100) <= 0) continue;
    n = ::read(errPipe[0], buf, sizeof buf);
    if (n > 0) text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(errPipe[0]);
  const double stopped = seconds(Clock::now() - start);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << text;
  // Six silent speeds take six seconds or more (each port's own): the bound
  // tells "at once" from "after the scan" with room for a loaded machine.
  EXPECT_LT(stopped, 4.0) << "trma went on probing after Ctrl+C";
  EXPECT_TRUE(has(text, "поиск прерван")) << text;
  for (auto& s : sims) {
    EXPECT_TRUE(findHolders(s->ptyPath()).empty()) << s->ptyPath();
    EXPECT_EQ(termina::cli::diagnosePort(s->ptyPath()).problem, termina::cli::PortProblem::None);
  }
}

// The scan runs in one process: a thread per port, no child processes and
// no temporary driver roots.
TEST_F(Find, ProbesEveryPortFromThreadsOfOneProcess) {
  termina::sim::Faults silent;
  silent.silent = true;
  std::vector<std::unique_ptr<Simulator>> sims;
  for (int com = 1; com <= 2; ++com) {
    sims.push_back(std::make_unique<Simulator>());
    sims.back()->openPty(root + "/dev/com" + std::to_string(com));
    sims.back()->setFaults(silent);
  }
  TempDir tmp;
  std::vector<std::string> store{TRMA_EXE, "--root", root, "find", "--ports", "1,2"};
  std::vector<char*> argv;
  for (auto& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("TMPDIR", tmp.path().c_str(), 1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execv(TRMA_EXE, argv.data());
    ::_exit(127);
  }
  for (auto& s : sims) ASSERT_TRUE(s->waitForEvents(1, 10s));
  std::size_t threads = 0;
  std::string children;
  const std::string task = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& t : std::filesystem::directory_iterator(task)) {
    ++threads;
    std::ifstream in(t.path() / "children");
    children += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ::kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_EQ(children, "") << "no child processes";
  EXPECT_GE(threads, 3u) << "the main thread and one per port";
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path())) << "no temporary driver roots";
}

TEST(FindLists, PortsAndSpeedsAsTyped) {
  using termina::cli::PortSpec;
  std::string error;
  auto ports = termina::cli::parsePortList("3,com1-2,COM3,/dev/ttyUSB0,255", error);
  ASSERT_TRUE(ports) << error;
  EXPECT_EQ(*ports, (std::vector<PortSpec>{{3, ""}, {1, ""}, {2, ""}, {0, "/dev/ttyUSB0"}, {255, ""}}));
  for (const char* bad : {"", "0", "256", "5-3", "1,,2", "COM", "1-", "-1", "ttyUSB0", "1-255"}) {
    error.clear();
    EXPECT_FALSE(termina::cli::parsePortList(bad, error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
  auto speeds = termina::cli::parseSpeedList("115200,9600,115200", error);
  ASSERT_TRUE(speeds);
  EXPECT_EQ(*speeds, (std::vector<unsigned>{115200, 9600}));
  for (const char* bad : {"", "14400", "9600,", "+9600"}) EXPECT_FALSE(termina::cli::parseSpeedList(bad, error)) << bad;
}

}  // namespace
