// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange trace: a decoded line per event when TERMINA_TRACE names a
// file, nothing at all otherwise, and never a failed command because of it.
#include "register_fixture.h"
#include "termina.h"

#include <fstream>
#include <regex>
#include <sstream>

using namespace termina;
using namespace termina::test;

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

bool hasLine(const std::vector<std::string>& all, const std::string& tail) {
  for (const std::string& l : all)
    if (l.size() >= tail.size() && l.compare(l.size() - tail.size(), tail.size(), tail) == 0) return true;
  return false;
}

}  // namespace

TEST(Trace, FramesAreDecodedWithNamesResultsAndFieldsAndNoPassword) {
  Connected c(Transport::Pty);
  std::string path = c.root.path() + "/trace.log";
  ::setenv("TERMINA_TRACE", path.c_str(), 1);
  c.connect();
  TRMADT d{8, 12, 2026};
  TRMATM t{10, 0, 0};
  TRMA_Init(&d, &t);
  TRMA_STRING value{};
  EXPECT_EQ(thrown([&] { TRMA_ReadConfig(999, 0, &value); }), 3);
  ::unsetenv("TERMINA_TRACE");
  TRMA_CheckPort(false);
  const std::vector<std::string> log = lines(readAll(path));

  EXPECT_TRUE(hasLine(log, "-> ENQ"));
  EXPECT_TRUE(hasLine(log, "<- ACK"));
  EXPECT_TRUE(hasLine(log, "-> A5 GetVersion \"0\""));
  EXPECT_TRUE(hasLine(log, "<- A5 GetVersion = 0 ok: Команда выполнена без ошибок \"201\""));
  EXPECT_TRUE(hasLine(log, "-> 00 Init \"081226\" \"100000\""));
  EXPECT_TRUE(hasLine(log, "-> A1 ReadConfig \"999\" \"0\""));
  EXPECT_TRUE(hasLine(log, "<- A1 ReadConfig = 3 bad_parameter: Неверный параметр функции"));
  EXPECT_TRUE(hasLine(log, "-- failed 3 bad_parameter: Неверный параметр функции"));
  // Every line starts with the seconds since the start and a direction.
  const std::regex shape(R"( *\d+\.\d{3} (->|<-|--) .+)");
  for (const std::string& l : log) EXPECT_TRUE(std::regex_match(l, shape)) << l;
  for (const std::string& l : log) EXPECT_EQ(l.find("WKRD"), std::string::npos) << "the password shows: " << l;
}

TEST(Trace, OffByDefaultAndHarmlessWhenUnwritable) {
  Connected c(Transport::Pty);
  ::unsetenv("TERMINA_TRACE");
  c.connect();
  uint16_t v;
  EXPECT_EQ(TRMA_GetVersion(&v), 0);
  EXPECT_FALSE(std::filesystem::exists(c.root.path() + "/trace.log"));
  ::setenv("TERMINA_TRACE", (c.root.path() + "/no/such/dir/trace.log").c_str(), 1);
  TRMA_CheckPort(false);
  EXPECT_EQ(TRMA_GetVersion(&v), 0);
  ::unsetenv("TERMINA_TRACE");
}

// The original interface's password change and table 31 write, traced
// through its own callback and the trace file.
TEST(TrmaTrace, PasswordsNeverReachATrace) {
  Connected c(Transport::Pty);
  const std::string file = c.root.path() + "/trace.log";
  ::setenv("TERMINA_TRACE", file.c_str(), 1);
  c.connect();
  static std::string* seen;
  std::string all;
  seen = &all;
  termina_set_trma_trace(
      [](void*, const termina_trace_record* r) {
        *seen += std::string(r->text) + "\n";
        for (std::size_t i = 0; i < r->field_count; ++i) *seen += std::string(r->fields[i]) + "\n";
        seen->append(reinterpret_cast<const char*>(r->bytes), r->byte_count);
      },
      nullptr);
  TRMA_STRING pw{};
  put(pw, "MNBV");
  EXPECT_EQ(TRMA_ChangePwd(&pw, true), 0);
  TRMA_STRING v{};
  put(v, "QWER");
  EXPECT_EQ(TRMA_WriteConfig(31, 0, &v), 0);
  termina_set_trma_trace(nullptr, nullptr);
  ::unsetenv("TERMINA_TRACE");
  const std::string written = readAll(file);
  EXPECT_NE(all.find("WriteConfig \"31\" \"0\" \"***\""), std::string::npos) << all;
  for (const char* secret : {"MNBV", "QWER"}) {
    EXPECT_EQ(all.find(secret), std::string::npos) << secret;
    EXPECT_EQ(written.find(secret), std::string::npos) << secret;
  }
}
