// SPDX-License-Identifier: GPL-3.0-or-later
// Status queries and TRMA_GetErrorMessage through the exported API.
#include "codepage.h"
#include "register_fixture.h"

using namespace termina;
using namespace termina::test;

namespace {

std::string message(uint16_t code) {
  TRMA_ERROR_MESSAGE m{};
  EXPECT_EQ(TRMA_GetErrorMessage(code, &m), 1);
  return cp::ansiToUtf8(m);
}

}  // namespace

TEST(Status, ThreeBytesFromTheRegisterAndZerosOn64) {
  Connected c(Transport::Pty);
  c.connect();
  c.sim->setStatus(0x21, 0x86, 0x45);
  TRMA_FATAL_STATUS f{};
  TRMA_STATUS s{};
  TRMA_REC_STATUS r{};
  EXPECT_EQ(TRMA_GetStatus(&f, &s, &r), 0);
  EXPECT_EQ(f.byte, 0x21);
  EXPECT_TRUE(f.bits.bNvrChecksum);
  EXPECT_TRUE(f.bits.bNotInstalled);
  EXPECT_EQ(s.byte, 0x86);
  EXPECT_TRUE(s.bits.bNonFiscal);
  EXPECT_TRUE(s.bits.bShiftOpen);
  EXPECT_TRUE(s.bits.bWrongFmPassword);
  EXPECT_EQ(r.byte, 0x45);
  EXPECT_EQ(c.lastBody(), "A0");

  force(*c.sim, "A0", 64);
  EXPECT_EQ(TRMA_GetStatus(&f, &s, &r), 64);
  EXPECT_EQ(f.byte | s.byte | r.byte, 0);
}

TEST(Status, PrinterStatusByteAndZeroOn64) {
  Connected c(Transport::Pty);
  c.connect();
  c.sim->setPrinterStatus(0x12);
  TRMA_PRINTER_STATUS p{};
  EXPECT_EQ(TRMA_GetPrinterStatus(&p), 0);
  EXPECT_TRUE(p.bits.bNoPaper);
  EXPECT_TRUE(p.bits.bCutterError);
  EXPECT_EQ(c.lastBody(), "A9");
  force(*c.sim, "A9", 64);
  EXPECT_EQ(TRMA_GetPrinterStatus(&p), 64);
  EXPECT_EQ(p.byte, 0);
}

TEST(Status, RegisterCodesOtherThan64AreRaised) {
  Connected c(Transport::Tcp);
  c.connect();
  force(*c.sim, "A0", 0x20);
  TRMA_FATAL_STATUS f{};
  TRMA_STATUS s{};
  TRMA_REC_STATUS r{};
  f.byte = 0x55;
  EXPECT_EQ(thrown([&] { TRMA_GetStatus(&f, &s, &r); }), 0x20);
  EXPECT_EQ(f.byte, 0x55) << "outputs stay as they were when the call raises";
}

TEST(ErrorMessage, TextsArriveInCodePage1251) {
  TRMA_ERROR_MESSAGE m{};
  TRMA_GetErrorMessage(6, &m);
  // "Неверный пароль": Н is 0xCD in code page 1251.
  EXPECT_EQ(static_cast<uint8_t>(m[0]), 0xCD);
  EXPECT_EQ(message(0x5A), "Неопознанная ошибка, код: 5A");
}

TEST(ErrorMessage, CodeOneAsksTheRegisterForItsStatus) {
  Connected c(Transport::Pty);
  c.connect();
  c.sim->setStatus(0, 0x0A, 0);
  EXPECT_EQ(message(1),
            "Неверный статус устройства. Возможные причины ошибки:"
            "\r\nСмена больше 24 часов\r\nНефискальный режим");
  // Every reason at once: the longest text the status can give, and it
  // fits the buffer with its NUL.
  c.sim->setStatus(0xFF, 0xFF, 0);
  TRMA_ERROR_MESSAGE m;
  std::fill(std::begin(m), std::end(m), 'x');
  TRMA_GetErrorMessage(1, &m);
  EXPECT_EQ(std::strlen(m), 449u);
}

TEST(ErrorMessage, CodeOneWithoutARegisterSaysTheStatusFailed) {
  DriverRoot root;
  TRMA_ClosePort();
  EXPECT_EQ(message(1), "Сбой при попытке определить статус устройства");
}
