// SPDX-License-Identifier: GPL-3.0-or-later
// The screenshot program on Windows (under Wine in tools/screenshots/
// windows.sh): the windows are the program's own Win32 dialogs, drawn on a
// display; the register is termina-sim on the Linux side, started by the
// caller for each picture with SimulatorArguments and named in the
// program's INI file (TCP), since a Windows program cannot run it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "ini.h"
#include "paths.h"
#include "screenshots_platform.h"
#include "toolkit_win32.h"

namespace shots {

void PrepareSystem() {}

struct Register::Impl {};

Register::Register(const RegisterSetup& setup) : m_impl(nullptr) {
  // Without the simulator the program would only report a missing register:
  // a picture of that is no picture of the page.
  if (setup.version != 0 && termina::ini::readInt(termina::paths::iniPath(), "TCP", "Mode", 0) != 1) {
    std::fprintf(stderr, "%s names no simulator over TCP (start termina-sim %s first)\n",
                 termina::paths::iniPath().c_str(), SimulatorArguments(setup).c_str());
    std::exit(1);
  }
}

Register::~Register() = default;

std::string TemporaryFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
  std::wstring folder(buffer, n);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return tk::Utf8(folder);
}

std::string MakeLogoPicture(const std::string& path) {
  const int width = 400, height = 110;
  DWORD* pixels = nullptr;
  HBITMAP picture = tk::MakeDib(width, height, &pixels);
  if (!picture) return {};
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBitmap = SelectObject(dc, picture);
  RECT all{0, 0, width, height};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  HPEN pen = CreatePen(PS_INSIDEFRAME, 4, RGB(0, 0, 0));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
  RoundRect(dc, 4, 4, 396, 106, 28, 28);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  auto text = [dc](const wchar_t* s, int pixels, int weight, RECT r) {
    HFONT font = CreateFontW(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Arial");
    HGDIOBJ old = SelectObject(dc, font);
    DrawTextW(dc, s, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(font);
  };
  text(L"МАГАЗИН №1", 38, FW_BOLD, RECT{0, 8, 400, 64});
  text(L"продукты и хозтовары", 20, FW_NORMAL, RECT{0, 62, 400, 98});
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SelectObject(dc, oldBitmap);
  DeleteDC(dc);
  GdiFlush();

  // A 1-bit BMP file: a black and white palette, rows bottom-up, each
  // padded to four bytes; a pixel darker than mid-grey is black.
  const DWORD* rgb = pixels;
  const int rowBytes = ((width + 31) / 32) * 4;
  std::string rows(static_cast<size_t>(rowBytes) * height, '\0');
  for (int y = 0; y < height; ++y) {
    char* row = &rows[static_cast<size_t>(height - 1 - y) * rowBytes];
    for (int x = 0; x < width; ++x) {
      const DWORD p = rgb[y * width + x];
      const unsigned grey = ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3;
      if (grey >= 128) row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
    }
  }
  DeleteObject(picture);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 1;
  info.biCompression = BI_RGB;
  info.biSizeImage = static_cast<DWORD>(rows.size());
  info.biClrUsed = 2;
  const RGBQUAD palette[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info + sizeof palette;
  file.bfSize = static_cast<DWORD>(file.bfOffBits + rows.size());
  std::ofstream out(std::filesystem::path(tk::Wide(path)), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(reinterpret_cast<const char*>(palette), sizeof palette);
  out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
  return out ? path : std::string();
}

void Show(tk::CDialog& window) {
  window.SetVisible(true);
  if (HWND w = tk::WindowOf(&window)) SetForegroundWindow(w);
}

void ProcessWaitingEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) tk::ProcessMessage(msg);
}

}  // namespace shots
