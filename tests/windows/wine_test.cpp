// SPDX-License-Identifier: GPL-3.0-or-later
// Loads TERMINA-1.dll by name, as a point-of-sale program does, and calls it
// through pointers of the declared conventions against a simulated register.
//
//   wine_test tcp HOST PORT    the register behind a TCP gateway
//   wine_test com              the register on COM1 (the port number the
//                              driver settles on when the INI has none)
//
// The register must answer with a customer display attached, recorded
// fiscal history and long fiscal reports (the simulator's --display,
// --fiscal-history and --report-ms).  Prints one line per failed check and
// exits 1 when any failed.
#include "termina1.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

int g_failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    ++g_failures;
    std::printf("FAILED: %s\n", what.c_str());
  } else {
    std::printf("ok: %s\n", what.c_str());
  }
  std::fflush(stdout);
}

const char* kIniPath = "C:\\Program Files\\Orvelsoft\\TERMINA.INI";
const char* kIniFolder = "C:\\Program Files\\Orvelsoft";

std::string iniValue(const char* section, const char* key) {
  char buf[128] = {};
  ::GetPrivateProfileStringA(section, key, "<absent>", buf, sizeof buf, kIniPath);
  return buf;
}

// The exports this program calls, resolved by name.
struct Api {
  HMODULE dll = nullptr;
  uint16_t* timeoutCount = nullptr;
  decltype(&TRMA_CheckPort) checkPort = nullptr;
  decltype(&TRMA_ClosePort) closePort = nullptr;
  decltype(&TRMA_GetStatus) getStatus = nullptr;
  decltype(&TRMA_GetVersion) getVersion = nullptr;
  decltype(&TRMA_GetErrorMessage) getErrorMessage = nullptr;
  decltype(&TRMA_WriteConfig) writeConfig = nullptr;
  decltype(&TRMA_ReadConfig) readConfig = nullptr;
  decltype(&TRMA_CloseReceipt) closeReceipt = nullptr;
  decltype(&TRMA_FiscDateReport) fiscDateReport = nullptr;
  decltype(&TRMA_CancelReport) cancelReport = nullptr;
  decltype(&TRMA_Init) init = nullptr;
  decltype(&TRMA_Register) registerDevice = nullptr;
  decltype(&TRMA_ClearLogo) clearLogo = nullptr;
  decltype(&TRMA_ShowClientDisplayText) showClientDisplayText = nullptr;

  template <typename F>
  bool resolve(F& fn, const char* name) {
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(dll, name)));
    check(fn != nullptr, std::string("export ") + name);
    return fn != nullptr;
  }

  bool load() {
    dll = ::LoadLibraryA("TERMINA-1.dll");
    check(dll != nullptr, dll ? "LoadLibraryA(\"TERMINA-1.dll\")"
                              : "LoadLibraryA(\"TERMINA-1.dll\"), error " + std::to_string(::GetLastError()));
    if (!dll) return false;
    bool ok = resolve(timeoutCount, "TRMATMOUT");
    ok = resolve(checkPort, "TRMA_CheckPort") && ok;
    ok = resolve(closePort, "TRMA_ClosePort") && ok;
    ok = resolve(getStatus, "TRMA_GetStatus") && ok;
    ok = resolve(getVersion, "TRMA_GetVersion") && ok;
    ok = resolve(getErrorMessage, "TRMA_GetErrorMessage") && ok;
    ok = resolve(writeConfig, "TRMA_WriteConfig") && ok;
    ok = resolve(readConfig, "TRMA_ReadConfig") && ok;
    ok = resolve(closeReceipt, "TRMA_CloseReceipt") && ok;
    ok = resolve(fiscDateReport, "TRMA_FiscDateReport") && ok;
    ok = resolve(cancelReport, "TRMA_CancelReport") && ok;
    ok = resolve(init, "TRMA_Init") && ok;
    ok = resolve(registerDevice, "TRMA_Register") && ok;
    ok = resolve(clearLogo, "TRMA_ClearLogo") && ok;
    ok = resolve(showClientDisplayText, "TRMA_ShowClientDisplayText") && ok;
    return ok;
  }
};

// The code a call throws, 0 when it returns normally, -1 for anything
// thrown that is not the bare 16-bit code.
template <typename F>
int thrown(F&& call) {
  try {
    call();
    return 0;
  } catch (uint16_t code) { return code; } catch (...) {
    return -1;
  }
}

#if defined(__i386__)
// Calls fn with the given 32-bit arguments pushed right to left and reports
// how far the stack pointer moved across the call: 0 when the callee removed
// its arguments (callee-cleans), minus their size when the caller must
// (caller-cleans).  The stack is put back either way.
struct RawCall {
  void* fn;
  uint32_t args[2];
  int count;
  int shift;
  uint32_t result;
};

void rawCall(RawCall& c) {
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "cmpl $2, 12(%%ebx)\n\t"
      "jl 1f\n\t"
      "pushl 8(%%ebx)\n"
      "1:\n\t"
      "cmpl $1, 12(%%ebx)\n\t"
      "jl 2f\n\t"
      "pushl 4(%%ebx)\n"
      "2:\n\t"
      "calll *(%%ebx)\n\t"
      "movl %%eax, 20(%%ebx)\n\t"
      "movl %%esp, %%eax\n\t"
      "subl %%esi, %%eax\n\t"
      "movl %%esi, %%esp\n\t"
      "movl %%eax, 16(%%ebx)\n\t"
      :
      : "b"(&c)
      : "eax", "ecx", "edx", "esi", "memory", "cc");
}

void checkConventions(const Api& api) {
  TRMA_CLIENTDISPLAYTEXT line1 = "TERMINA", line2 = "wine";
  RawCall display{reinterpret_cast<void*>(api.showClientDisplayText),
                  {reinterpret_cast<uint32_t>(&line1), reinterpret_cast<uint32_t>(&line2)},
                  2,
                  -1,
                  0};
  rawCall(display);
  check(display.shift == 0, "TRMA_ShowClientDisplayText removes its own 8 bytes of arguments (shift " +
                                std::to_string(display.shift) + ")");
  check((display.result & 0xFFFF) == 0, "TRMA_ShowClientDisplayText returns 0");

  RawCall logo{reinterpret_cast<void*>(api.clearLogo), {0, 0}, 0, -1, 0};
  rawCall(logo);
  check(logo.shift == 0, "TRMA_ClearLogo leaves the stack as it found it (shift " + std::to_string(logo.shift) + ")");

  TRMA_ERROR_MESSAGE message{};
  RawCall text{reinterpret_cast<void*>(api.getErrorMessage), {16, reinterpret_cast<uint32_t>(&message)}, 2, -1, 0};
  rawCall(text);
  check(text.shift == -8, "TRMA_GetErrorMessage leaves its 8 bytes of arguments to the caller (shift " +
                              std::to_string(text.shift) + ")");
}
#else
void checkConventions(const Api& api) {
  // One calling convention on 64-bit Windows: the calls only have to work.
  TRMA_CLIENTDISPLAYTEXT line1 = "TERMINA", line2 = "wine";
  check(api.showClientDisplayText(&line1, &line2) == 0, "TRMA_ShowClientDisplayText returns 0");
  check(api.clearLogo() == 0, "TRMA_ClearLogo returns 0");
}
#endif

bool isFolder(const char* path) {
  const DWORD a = ::GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void writeIni(bool tcp, const std::string& host, const std::string& port) {
  // A configuration as a point-of-sale installer leaves it; over COM the
  // port number is left out, and the driver settles on COM1.
  ::WritePrivateProfileStringA("TCP", "Mode", tcp ? "1" : "0", kIniPath);
  ::WritePrivateProfileStringA("TCP", "HostName", tcp ? host.c_str() : "", kIniPath);
  ::WritePrivateProfileStringA("TCP", "HostPort", tcp ? port.c_str() : "0", kIniPath);
  ::WritePrivateProfileStringA("General", "Speed", "115200", kIniPath);
  ::WritePrivateProfileStringA("General", "pswd", "OLDPASS", kIniPath);
}

void run(bool tcp, const std::string& host, const std::string& port) {
  // Wine's socket library, once unloaded, does not work again in the same
  // process; keep it loaded across the driver's unload below, as a program
  // with sockets of its own does.
  ::LoadLibraryA("ws2_32.dll");

  // A fresh installation: no INI file and no folder for it.
  ::DeleteFileA(kIniPath);
  ::RemoveDirectoryA(kIniFolder);

  Api api;
  if (!api.load()) return;
  check(isFolder(kIniFolder), "loading the library creates the INI folder");
  check(*api.timeoutCount == 10, "TRMATMOUT is exported with the value 10");

  writeIni(tcp, host, port);
  check(thrown([&] { api.checkPort(false); }) == 0, "TRMA_CheckPort connects");
  check(iniValue("General", "pswd") == "WKRD", "the password settled on is saved in the INI under C:");
  if (!tcp) check(iniValue("General", "Port") == "1", "a missing port number is saved as 1");

  TRMA_FATAL_STATUS fatal{};
  TRMA_STATUS status{};
  TRMA_REC_STATUS rec{};
  check(thrown([&] { api.getStatus(&fatal, &status, &rec); }) == 0, "TRMA_GetStatus answers");
  uint16_t version = 0;
  const uint16_t versionCode = api.getVersion(&version);
  check(versionCode == 0 && version == 201, "TRMA_GetVersion reports 201, got " + std::to_string(version));

  // Code page 1251 in and out; the register keeps what arrived in 866.
  TRMA_STRING shop =
      "\xCC\xE0\xE3\xE0\xE7\xE8\xED \xB9"
      "1";  // "Магазин №1"
  check(thrown([&] { api.writeConfig(20, 1, &shop); }) == 0, "TRMA_WriteConfig takes Cyrillic text");
  TRMA_STRING back{};
  check(thrown([&] { api.readConfig(20, 1, &back); }) == 0 && std::strcmp(back, shop) == 0,
        "TRMA_ReadConfig gives the text back in 1251");

  // A register's refusal and a link failure both arrive as the bare code.
  check(thrown([&] { api.closeReceipt(); }) == 1, "closing a receipt that is not open throws the code 1");
  api.closePort();
  check(thrown([&] { api.getStatus(&fatal, &status, &rec); }) == 16, "a command with the port closed throws 16");
  TRMA_ERROR_MESSAGE message{};
  api.getErrorMessage(16, &message);
  check(std::strcmp(message, "\xCE\xF8\xE8\xE1\xEA\xE0 \xEF\xE5\xF0\xE5\xE4\xE0\xF7\xE8 \xE4\xE0\xED\xED\xFB\xF5") == 0,
        "TRMA_GetErrorMessage(16) is the 1251 text");
  // The channel's own failures: a port that is not there, a gateway
  // that refuses; a gateway given by name is looked up.
  if (tcp) {
    ::WritePrivateProfileStringA("TCP", "HostPort", "1", kIniPath);
    check(thrown([&] { api.checkPort(false); }) == 80, "a refused connection throws 80");
    ::WritePrivateProfileStringA("TCP", "HostPort", port.c_str(), kIniPath);
    ::WritePrivateProfileStringA("TCP", "HostName", "localhost", kIniPath);
  } else {
    ::WritePrivateProfileStringA("General", "Port", "9", kIniPath);
    const int missing = thrown([&] { api.checkPort(false); });
    check(missing == 18, "a COM port that does not exist throws 18, got " + std::to_string(missing));
    ::WritePrivateProfileStringA("General", "Port", "1", kIniPath);
  }
  check(thrown([&] { api.checkPort(false); }) == 0,
        tcp ? "TRMA_CheckPort connects again, to the gateway by name" : "TRMA_CheckPort connects again");

  checkConventions(api);

  // The fiscal memory reports need a registered register.
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  TRMADT today{static_cast<uint8_t>(t.wDay), static_cast<uint8_t>(t.wMonth), t.wYear};
  TRMATM now{static_cast<uint8_t>(t.wHour), static_cast<uint8_t>(t.wMinute), static_cast<uint8_t>(t.wSecond)};
  TRMA_PASSWORD inspector = "0";
  TRMA_REGISTRATION_NUMBER number = "123456789012";
  TRMA_INN inn = "7701234567";
  check(thrown([&] { api.init(&today, &now); }) == 0, "TRMA_Init");
  check(thrown([&] { api.registerDevice(&inspector, &number, &inn, &inspector); }) == 0, "TRMA_Register");

  // A long report cancelled from a second thread ends with the register's
  // code, long before the report would have finished.
  std::atomic<int> result{-2};
  const auto start = std::chrono::steady_clock::now();
  std::thread worker([&] {
    TRMA_PASSWORD pw = "0";
    TRMADT from{1, 1, 2000}, to{31, 12, 2099};
    result = thrown([&] { api.fiscDateReport(0, &from, &to, &pw); });
  });
  // CAN until the report ends: one sent before the report starts is
  // ignored by the register.
  while (result == -2 && std::chrono::steady_clock::now() - start < std::chrono::seconds(20)) {
    api.cancelReport();
    ::Sleep(100);
  }
  worker.join();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  check(result == 0x0E, "the cancelled report ends with 0x0E, got " + std::to_string(result.load()));
  check(took < std::chrono::seconds(20), "the report was cut short (" + std::to_string(took.count()) + " ms)");
  check(api.getVersion(&version) == 0, "the line works after the cancelled report");

  // Unloading closes the channel: a second load can take the port again.
  check(::FreeLibrary(api.dll) != 0, "FreeLibrary");
  Api again;
  if (again.load()) {
    const int code = thrown([&] { again.checkPort(false); });
    check(code == 0, "after an unload and a new load the port opens again (" + std::to_string(code) + ")");
    again.closePort();
    ::FreeLibrary(again.dll);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "tcp" && argc == 4) {
    run(true, argv[2], argv[3]);
  } else if (mode == "com" && argc == 2) {
    run(false, "", "");
  } else {
    std::fprintf(stderr, "usage: wine_test tcp HOST PORT | wine_test com\n");
    return 2;
  }
  std::printf("%s: %d failed\n", g_failures ? "FAILED" : "passed", g_failures);
  return g_failures ? 1 : 0;
}
