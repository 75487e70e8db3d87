#include "settings_file.h"

#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "config_map.h"
#include "driver_text.h"
#include "programming_pages.h"
#include "termina1.h"

namespace termina::app {
namespace {

// A record read from the register: the first bytes of a zero-filled
// TRMA_STRING.
template <std::size_t N>
void readRecord(uint16_t table, uint16_t field, std::array<char, N>& record) {
  TRMA_STRING value{};
  TRMA_ReadConfig(table, field, &value);
  value[sizeof value - 1] = 0;
  std::memcpy(record.data(), value, N);
}

// A record sent to the register: at most N - 1 bytes of a 41-byte record
// (the last byte of a record from a file need not be zero) or all 19 bytes
// of a tax record, in a zero-filled TRMA_STRING.
template <std::size_t N>
void writeRecord(uint16_t table, uint16_t field, const std::array<char, N>& record) {
  TRMA_STRING value{};
  constexpr std::size_t n = N < sizeof value ? N : sizeof value - 1;
  std::memcpy(value, record.data(), n);
  TRMA_WriteConfig(table, field, &value);
}

void pause() { Pause(kTablePauseMs); }

SettingsResult failure(SettingsOutcome outcome, const char* text) {
  SettingsResult r;
  r.outcome = outcome;
  r.message = text;
  r.title = kErrorTitle;
  r.icon = Icon::Error;
  return r;
}

SettingsResult driverFailure(uint16_t code) {
  SettingsResult r;
  r.outcome = SettingsOutcome::DriverFailure;
  r.code = code;
  r.message = ErrorText(code).value_or(std::string());
  r.title = kErrorTitle;
  r.icon = Icon::Error;
  return r;
}

SettingsResult information(SettingsOutcome outcome, const char* text) {
  SettingsResult r;
  r.outcome = outcome;
  r.message = text;
  r.title = kInformationTitle;
  r.icon = Icon::Information;
  return r;
}

// Up to limit bytes of the file; nullopt when it cannot be opened or read,
// or is not a plain file (a named pipe or a device could hold the caller up
// or never end).
std::optional<std::vector<uint8_t>> readPrefix(const std::string& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  std::vector<uint8_t> data(limit);
  std::size_t got = 0;
  while (got < limit) {
    const ssize_t n = ::read(fd, data.data() + got, limit - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  data.resize(got);
  return data;
}

}  // namespace

SettingsRecords ReadRegisterSettings() {
  SettingsRecords r;
  r.version = RegisterVersion();
  // Tables 1 to 13: a register that lacks one leaves its record empty.
  for (uint16_t n = 0; n < r.tables.size(); ++n) {
    try {
      readRecord(static_cast<uint16_t>(kTableCashDesk + n), 0, r.tables[n]);
    } catch (uint16_t) {}
    pause();
  }
  for (uint16_t f = 0; f < r.header.size(); ++f) {
    readRecord(kTableHeader, f, r.header[f]);
    pause();
  }
  for (uint16_t f = 0; f < r.footer.size(); ++f) {
    readRecord(kTableFooter, f, r.footer[f]);
    pause();
  }
  for (uint16_t f = 0; f < r.payments.size(); ++f) {
    readRecord(kTablePaymentNames, f, r.payments[f]);
    pause();
  }
  if (r.version >= kVersionTaxOptions) {
    try {
      readRecord(kTableTaxLine, 0, r.taxLine);
      pause();
      for (uint16_t i = 0; i < r.taxNames.size(); ++i) {
        readRecord(kTableTaxNames, i, r.taxNames[i]);
        pause();
        readRecord(kTableTaxRates, i, r.taxRates[i]);
        pause();
      }
    } catch (uint16_t) {}
    try {
      readRecord(kTableAutoPayment, 0, r.autoPayment);
      pause();
    } catch (uint16_t) {}
  }
  return r;
}

SettingsResult SaveSettings(const std::string& path) {
  SettingsRecords records;
  try {
    records = ReadRegisterSettings();
  } catch (uint16_t code) { return driverFailure(code); }
  const std::vector<uint8_t> bytes = BuildSettingsFile(records);
  if (!ReplaceFile(path, bytes)) return failure(SettingsOutcome::OpenFailed, kOpenFailedText);
  return information(SettingsOutcome::Saved, kSavedText);
}

void WriteRegisterSettings(const SettingsRecords& r, uint16_t version) {
  // Table 1, the cash-desk number, stays the target register's own.
  for (uint16_t n = 1; n < r.tables.size(); ++n) {
    try {
      writeRecord(static_cast<uint16_t>(kTableCashDesk + n), 0, r.tables[n]);
      pause();
    } catch (uint16_t) {}
  }
  for (uint16_t f = 0; f < r.header.size(); ++f) {
    writeRecord(kTableHeader, f, r.header[f]);
    pause();
  }
  for (uint16_t f = 0; f < r.footer.size(); ++f) {
    writeRecord(kTableFooter, f, r.footer[f]);
    pause();
  }
  // Payment type 0 is fixed in the register.
  for (uint16_t f = 1; f < r.payments.size(); ++f) {
    writeRecord(kTablePaymentNames, f, r.payments[f]);
    pause();
  }
  if (version >= kVersionTaxOptions) {
    try {
      writeRecord(kTableTaxLine, 0, r.taxLine);
      pause();
      for (uint16_t i = 0; i < r.taxNames.size(); ++i) {
        writeRecord(kTableTaxNames, i, r.taxNames[i]);
        pause();
        writeRecord(kTableTaxRates, i, r.taxRates[i]);
        pause();
      }
      writeRecord(kTableAutoPayment, 0, r.autoPayment);
    } catch (uint16_t) {}
  }
}

SettingsResult LoadSettings(const std::string& path, uint16_t knownVersion, Interaction& ask) {
  const auto bytes = readPrefix(path, kSettingsFileSize);
  if (!bytes) return failure(SettingsOutcome::OpenFailed, kOpenFailedText);
  const auto records = ParseSettingsFile(*bytes);
  if (!records) return failure(SettingsOutcome::BadFormat, kBadFormatText);
  if (knownVersion < records->version) return failure(SettingsOutcome::FileNewer, kFileNewerText);
  if (knownVersion > records->version) {
    const Answer a = ask.Ask(Question{kFileOlderQuestion, kConfirmTitle, Icon::Question, Buttons::YesNo, Answer::No});
    if (a != Answer::Yes) {
      SettingsResult r;
      r.outcome = SettingsOutcome::Declined;
      return r;
    }
  }
  const uint16_t version = RegisterVersion();
  try {
    WriteRegisterSettings(*records, version);
  } catch (uint16_t code) {
    SettingsResult r = driverFailure(code);
    r.version = version;
    return r;
  }
  SettingsResult r = information(SettingsOutcome::Loaded, kLoadedText);
  r.version = version;
  return r;
}

}  // namespace termina::app
