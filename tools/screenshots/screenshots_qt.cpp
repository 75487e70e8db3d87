// SPDX-License-Identifier: GPL-3.0-or-later
// The screenshot program on Linux: Qt on the offscreen platform, the
// program's files in a temporary root, and each picture's register a
// simulator inside this process on the program's COM1 (a pseudo-terminal).
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

#include "ini.h"
#include "paths.h"
#include "screenshots_platform.h"
#include "simulator.h"
#include "toolkit_qt.h"

namespace shots {
namespace {
std::unique_ptr<QTemporaryDir> g_root;
}  // namespace

void PrepareSystem() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  g_root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/terminatool-screenshots-XXXXXX"));
  const std::string root = g_root->path().toStdString();
  ::setenv("TERMINA_ROOT", root.c_str(), 1);
  termina::paths::makeDirs(root + "/c/Program Files/Orvelsoft");
  termina::paths::makeDirs(root + "/dev");
  termina::ini::writeString(termina::paths::iniPath(), "General", "Port", "1");
  termina::ini::writeString(termina::paths::iniPath(), "General", "Speed", "19200");
}

struct Register::Impl {
  std::unique_ptr<termina::sim::Simulator> sim;
};

Register::Register(const RegisterSetup& setup) : m_impl(new Impl) {
  if (setup.version == 0) return;
  termina::sim::Config cfg;
  cfg.version = setup.version;
  m_impl->sim = std::make_unique<termina::sim::Simulator>(cfg);
  m_impl->sim->openPty(termina::paths::root() + "/dev/com1");
  if (setup.clockOffset != 0) m_impl->sim->setClockOffset(setup.clockOffset);
  if (setup.ready) m_impl->sim->setReady();
  if (!setup.memory.empty()) m_impl->sim->setMemory(setup.memoryArea, setup.memoryAddress, setup.memory);
}

Register::~Register() { delete m_impl; }

std::string TemporaryFolder() { return g_root->path().toStdString(); }

std::string MakeLogoPicture(const std::string& path) {
  QImage image(400, 110, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 4));
    p.drawRoundedRect(QRect(4, 4, 392, 102), 14, 14);
    QFont f = tk::DialogFont();
    f.setPixelSize(38);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 8, 400, 56), Qt::AlignCenter, QStringLiteral("МАГАЗИН №1"));
    f.setPixelSize(20);
    f.setBold(false);
    p.setFont(f);
    p.drawText(QRect(0, 62, 400, 36), Qt::AlignCenter, QStringLiteral("продукты и хозтовары"));
  }
  image.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither | Qt::MonoOnly).save(tk::Q(path), "BMP");
  return path;
}

void Show(tk::CDialog& window) { window.SetVisible(true); }

void ProcessWaitingEvents() { QApplication::processEvents(); }

}  // namespace shots
