// SPDX-License-Identifier: GPL-3.0-or-later
// What a page may ask of the window that hosts it.  Pages get the host
// handed to them at construction and reach the main window only through
// it.  All calls are made on the UI thread.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include <memory>

class PageHost;
namespace tk {
class CDialog;
class Dialog;
}  // namespace tk

// The one way the program reports a failure: the text on the host's status
// line (when there is a host) and in a box titled "Ошибка" with the error
// icon, owned by `owner`.  UI thread.
void ReportFailure(PageHost* host, const tk::Dialog* owner, const std::string& text);
// The same for a driver code; nothing when the driver has no text for it.
void ReportFailure(PageHost* host, const tk::Dialog* owner, uint16_t code);
// The text for an exception that is neither a driver code nor expected.
std::string UnexpectedFailureText(const std::exception_ptr& e);

class PageHost {
 public:
  PageHost() = default;
  virtual ~PageHost() { *m_alive = nullptr; }
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;

  // Points to the host while it exists (read on the UI thread only).
  std::shared_ptr<PageHost* const> Alive() const { return m_alive; }

  // The window the page is placed in (its parent).
  virtual tk::CDialog* HostWindow() = 0;
  // The same window as the seam's dialog (the owner of messages).
  virtual tk::Dialog* HostDialog() = 0;
  // Part 0 is the message line, part 1 the model name.
  virtual void SetStatusText(int part, const std::string& text) = 0;
  virtual std::string StatusText(int part) const = 0;
  // Confirms that the same register still answers; false when the host has
  // re-initialised (and so replaced the page): the caller leaves at once.
  virtual bool CheckDevice() = 0;
  // The tab control and the tree together.
  virtual void EnableNavigation(bool enable) = 0;
  // The whole main window (navigation, port and speed, the page itself).
  virtual void EnableMainWindow(bool enable) = 0;
  virtual void SetWaitCursor(bool wait) = 0;
  // Shows the page of the selected tree item again, or of the first item
  // when none is selected, so that it reads the register anew.
  virtual void ShowSelectedPage() = 0;
  // The register's version as the host knows it (120 when it did not answer).
  virtual uint16_t Version() const = 0;
  // Takes the version read by a sequence outside start-up (a settings load).
  virtual void SetVersion(uint16_t version) = 0;
  // Ends the program (the page's "ВЫХОД").
  virtual void Quit() = 0;
  // The page shown runs a command: the register is taken.
  virtual bool PageBusy() const = 0;

 private:
  std::shared_ptr<PageHost*> m_alive = std::make_shared<PageHost*>(this);
};
