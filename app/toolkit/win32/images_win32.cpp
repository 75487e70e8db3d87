// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmaps 138 (the program title), 143 (the logo) and icon 144, drawn at
// run time with GDI at the size they are shown; picture files read with
// the system's imaging component (WIC), which also writes a window's
// picture as PNG.
#include <algorithm>
#include <cmath>
#include <iterator>

#include "toolkit_win32.h"

#include <wincodec.h>

namespace tk {
namespace {

const COLORREF kBlue = RGB(0x1f, 0x4e, 0x8c);
const COLORREF kYellow = RGB(0xf2, 0xa9, 0x00);

// Draws into a bitmap through a memory device context.
class Canvas {
 public:
  explicit Canvas(HBITMAP b) : m_dc(CreateCompatibleDC(nullptr)), m_old(SelectObject(m_dc, b)) {}
  ~Canvas() {
    SelectObject(m_dc, m_old);
    DeleteDC(m_dc);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;
  HDC dc() const { return m_dc; }

 private:
  HDC m_dc;
  HGDIOBJ m_old;
};

void Fill(HDC dc, const RECT& r, COLORREF c) {
  HBRUSH b = CreateSolidBrush(c);
  FillRect(dc, &r, b);
  DeleteObject(b);
}

int Round(double v) { return static_cast<int>(std::lround(v)); }

// The register mark: a receipt leaving a printer slot.
void DrawMark(HDC dc, double left, double top, double width, double height) {
  const double u = height / 16.0;
  HPEN noPen = static_cast<HPEN>(GetStockObject(NULL_PEN));
  HBRUSH blue = CreateSolidBrush(kBlue);
  HGDIOBJ oldPen = SelectObject(dc, noPen);
  HGDIOBJ oldBrush = SelectObject(dc, blue);
  const double bl = left + u, bt = top + 7 * u, br = left + width - u, bb = top + 15 * u;
  RoundRect(dc, Round(bl), Round(bt), Round(br), Round(bb), Round(3 * u), Round(3 * u));
  HPEN bluePen = CreatePen(PS_SOLID, std::max(1, Round(0.6 * u)), kBlue);
  SelectObject(dc, bluePen);
  SelectObject(dc, GetStockObject(WHITE_BRUSH));
  const double pl = left + 4 * u, pt = top + u, pr = left + width - 4 * u, pb = top + 9 * u;
  Rectangle(dc, Round(pl), Round(pt), Round(pr), Round(pb));
  for (int i = 0; i < 3; ++i) {
    const int y = Round(pt + (2 + 1.8 * i) * u);
    MoveToEx(dc, Round(pl + 1.5 * u), y, nullptr);
    LineTo(dc, Round(pr - 1.5 * u), y);
  }
  HBRUSH yellow = CreateSolidBrush(kYellow);
  SelectObject(dc, noPen);
  SelectObject(dc, yellow);
  const double cx = br - 2.5 * u, cy = bb - 2.5 * u, rad = 1.2 * u;
  Ellipse(dc, Round(cx - rad), Round(cy - rad), Round(cx + rad), Round(cy + rad));
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(blue);
  DeleteObject(bluePen);
  DeleteObject(yellow);
}

// The dialog font in bold; `face` another family.
HFONT BoldFont(int pixels, const wchar_t* face = L"MS Shell Dlg 2") {
  return CreateFontW(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH | FF_SWISS, face);
}

// The title's family: bold at the title's size everywhere.  Wine's own
// Tahoma, the dialog font there, is bold only up to 12 pixels and draws
// the title's 15 in the regular weight.
const wchar_t kTitleFace[] = L"Arial";

void DrawLine(HDC dc, const wchar_t* text, RECT r, UINT format) {
  DrawTextW(dc, text, -1, &r, format | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

HBITMAP TitleBitmap(int w, int h) {
  DWORD* bits = nullptr;
  HBITMAP b = MakeDib(w, h, &bits);
  if (!b) return nullptr;
  Canvas c(b);
  Fill(c.dc(), RECT{0, 0, w, h}, GetSysColor(COLOR_3DFACE));
  static const wchar_t kFirst[] = L"ПРОГРАММА УПРАВЛЕНИЯ";
  static const wchar_t kSecond[] = L"ФИСКАЛЬНЫМ РЕГИСТРАТОРОМ";
  // Two lines filling the height, smaller when the longer one would not
  // fit the width.
  HFONT font = nullptr;
  for (int size = std::max(6, h * 15 / 42); size >= 6; --size) {
    if (font) DeleteObject(font);
    font = BoldFont(size, kTitleFace);
    HGDIOBJ was = SelectObject(c.dc(), font);
    SIZE extent{};
    GetTextExtentPoint32W(c.dc(), kSecond, static_cast<int>(std::size(kSecond)) - 1, &extent);
    SelectObject(c.dc(), was);
    if (extent.cx <= w - 8) break;
  }
  HGDIOBJ old = SelectObject(c.dc(), font);
  SetBkMode(c.dc(), TRANSPARENT);
  SetTextColor(c.dc(), kBlue);
  DrawLine(c.dc(), kFirst, RECT{4, 1, w - 4, h / 2}, DT_LEFT);
  DrawLine(c.dc(), kSecond, RECT{4, h / 2, w - 4, h - 1}, DT_LEFT);
  SelectObject(c.dc(), old);
  DeleteObject(font);
  return b;
}

HBITMAP LogoBitmap(int w, int h) {
  DWORD* bits = nullptr;
  HBITMAP b = MakeDib(w, h, &bits);
  if (!b) return nullptr;
  Canvas c(b);
  Fill(c.dc(), RECT{0, 0, w, h}, GetSysColor(COLOR_3DFACE));
  const double markHeight = h * 0.75;
  DrawMark(c.dc(), 1, (h - markHeight) / 2, markHeight * 26 / 23, markHeight);
  HFONT font = BoldFont(std::max(6, h * 12 / 31));
  HGDIOBJ old = SelectObject(c.dc(), font);
  SetBkMode(c.dc(), TRANSPARENT);
  SetTextColor(c.dc(), kBlue);
  DrawLine(c.dc(), L"ТЕРМИНА", RECT{Round(markHeight * 26 / 23) + 4, 0, w, h}, DT_LEFT);
  SelectObject(c.dc(), old);
  DeleteObject(font);
  return b;
}

// COM for the imaging component on this thread, for as long as needed.
class ComScope {
 public:
  ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(m_hr)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT m_hr;
};

template <class T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p) p->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T* operator->() const { return p; }
  T** out() { return &p; }
  T* get() const { return p; }
  T* p = nullptr;
};

}  // namespace

HBITMAP MakeDib(int width, int height, DWORD** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* p = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
  *bits = static_cast<DWORD*>(p);
  return b;
}

HBITMAP MakeBitmap(int id, int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  switch (id) {
    case 138: return TitleBitmap(width, height);
    case 143: return LogoBitmap(width, height);
    default: return nullptr;
  }
}

HICON MakeIcon(int id, int size) {
  if (id != 144 || size <= 0) return nullptr;
  // Drawn over a colour the picture does not use, which becomes clear.
  const COLORREF key = RGB(0xff, 0x00, 0xff);
  DWORD* bits = nullptr;
  HBITMAP color = MakeDib(size, size, &bits);
  if (!color) return nullptr;
  {
    Canvas c(color);
    Fill(c.dc(), RECT{0, 0, size, size}, key);
    DrawMark(c.dc(), 0, 0, size, size);
  }
  GdiFlush();
  for (int i = 0; i < size * size; ++i) {
    const DWORD rgb = bits[i] & 0xFFFFFF;
    bits[i] = rgb == 0xFF00FF ? 0 : (rgb | 0xFF000000u);
  }
  HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
  ICONINFO ii{};
  ii.fIcon = TRUE;
  ii.hbmColor = color;
  ii.hbmMask = mask;
  HICON icon = CreateIconIndirect(&ii);
  DeleteObject(color);
  DeleteObject(mask);
  return icon;
}

HBITMAP LoadPictureFile(const std::wstring& path, int width, int height) {
  if (path.empty()) return nullptr;
  const ComScope com;
  Com<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(factory.out()))))
    return nullptr;
  Com<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                decoder.out())))
    return nullptr;
  Com<IWICBitmapFrameDecode> frame;
  UINT w = 0, h = 0;
  if (FAILED(decoder->GetFrame(0, frame.out())) || FAILED(frame->GetSize(&w, &h)) || !w || !h) return nullptr;
  IWICBitmapSource* source = frame.get();
  // Scaled down to fit, keeping its proportions.
  Com<IWICBitmapScaler> scaler;
  if (width > 0 && height > 0 && (w > static_cast<UINT>(width) || h > static_cast<UINT>(height))) {
    const double scale = std::min(static_cast<double>(width) / w, static_cast<double>(height) / h);
    const UINT sw = std::max(1u, static_cast<UINT>(std::lround(w * scale)));
    const UINT sh = std::max(1u, static_cast<UINT>(std::lround(h * scale)));
    if (FAILED(factory->CreateBitmapScaler(scaler.out())) ||
        FAILED(scaler->Initialize(source, sw, sh, WICBitmapInterpolationModeFant)))
      return nullptr;
    source = scaler.get();
    w = sw;
    h = sh;
  }
  Com<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.out())) ||
      FAILED(converter->Initialize(source, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return nullptr;
  DWORD* bits = nullptr;
  HBITMAP b = MakeDib(static_cast<int>(w), static_cast<int>(h), &bits);
  if (!b) return nullptr;
  if (FAILED(converter->CopyPixels(nullptr, w * 4, w * h * 4, reinterpret_cast<BYTE*>(bits)))) {
    DeleteObject(b);
    return nullptr;
  }
  // Clear parts over the dialog's face colour: the control shows the
  // bitmap as it is.
  const COLORREF face = GetSysColor(COLOR_3DFACE);
  const DWORD fr = GetRValue(face), fg = GetGValue(face), fb = GetBValue(face);
  for (UINT i = 0; i < w * h; ++i) {
    const DWORD p = bits[i], a = p >> 24;
    const DWORD r = ((p >> 16) & 0xFF) + fr * (255 - a) / 255;
    const DWORD g = ((p >> 8) & 0xFF) + fg * (255 - a) / 255;
    const DWORD bl = (p & 0xFF) + fb * (255 - a) / 255;
    bits[i] = 0xFF000000u | (std::min<DWORD>(r, 255) << 16) | (std::min<DWORD>(g, 255) << 8) | std::min<DWORD>(bl, 255);
  }
  return b;
}

bool SaveImage(const Dialog& dialog, const std::string& path) {
  HWND w = WindowOf(&dialog);
  if (!w || !IsWindowVisible(w)) return false;
  // Everything drawn now, the frame and the controls too.
  RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT r{};
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return false;
  // The window's own surface through its window device context: the
  // frame, the caption and the child windows as they were drawn, whatever
  // lies over the window on the screen.
  DWORD* bits = nullptr;
  HBITMAP picture = MakeDib(width, height, &bits);
  if (!picture) return false;
  bool copied = false;
  if (HDC source = GetWindowDC(w)) {
    {
      Canvas c(picture);
      copied = BitBlt(c.dc(), 0, 0, width, height, source, 0, 0, SRCCOPY) != FALSE;
    }
    ReleaseDC(w, source);
  }
  GdiFlush();
  // Opaque: GDI leaves the fourth byte of each pixel undefined.
  for (int i = 0; i < width * height; ++i) bits[i] |= 0xFF000000u;
  const ComScope com;
  Com<IWICImagingFactory> factory;
  Com<IWICStream> stream;
  Com<IWICBitmapEncoder> encoder;
  Com<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  const UINT stride = static_cast<UINT>(width) * 4;
  const bool ok = copied &&
                  SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IWICImagingFactory, reinterpret_cast<void**>(factory.out()))) &&
                  SUCCEEDED(factory->CreateStream(stream.out())) &&
                  SUCCEEDED(stream->InitializeFromFilename(Wide(path).c_str(), GENERIC_WRITE)) &&
                  SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) &&
                  SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
                  SUCCEEDED(encoder->CreateNewFrame(frame.out(), nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
                  SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
                  SUCCEEDED(frame->SetPixelFormat(&format)) && IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) &&
                  SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), stride, stride * static_cast<UINT>(height),
                                               reinterpret_cast<BYTE*>(bits))) &&
                  SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
  DeleteObject(picture);
  return ok;
}

}  // namespace tk
