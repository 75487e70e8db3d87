// The driver functions the shell calls, as one table of pointers with the
// signatures of the library.  The program binds the table to the TERMINA-1
// library at start (BindDriver); tests may bind it to a driver of their own.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

#include "termina1.h"

struct DriverApi {
  decltype(&TRMA_CheckPort) CheckPort = nullptr;
  decltype(&TRMA_CheckActive) CheckActive = nullptr;
  decltype(&TRMA_GetVersion) GetVersion = nullptr;
  decltype(&TRMA_GetStatus) GetStatus = nullptr;
  decltype(&TRMA_GetPrinterStatus) GetPrinterStatus = nullptr;
  decltype(&TRMA_GetErrorMessage) GetErrorMessage = nullptr;
  decltype(&TRMA_Init) Init = nullptr;
  decltype(&TRMA_Install) Install = nullptr;
  decltype(&TRMA_ChangePwd) ChangePwd = nullptr;
  decltype(&TRMA_CancelReport) CancelReport = nullptr;
};

// The table in use.
DriverApi& Trma();
// Binds the table to the TERMINA-1 library (defined with the program).
void BindDriver();

// Text crosses the driver boundary in code page 1251; these are the only
// conversions between it and the program's strings.
QString FromAnsi(const char* text);
// Zero-fills the buffer and copies the text in, cut to size - 1 bytes.
void ToAnsi(const QString& text, char* buffer, std::size_t size);
template <std::size_t N>
void ToAnsi(const QString& text, char (&buffer)[N]) {
  ToAnsi(text, buffer, N);
}

// The driver's text for a result code; false (and an empty text) when the
// driver has none.
bool ErrorText(uint16_t code, QString* text);

// The computer's local date and time; when it cannot be had, the date
// fields are 0 and the time fields 255.
void LocalDateTime(TRMADT* date, TRMATM* time);
