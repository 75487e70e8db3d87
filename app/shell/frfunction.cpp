#include "frfunction.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPointer>

#include <thread>

#include "driver_api.h"
#include "frmaindlg.h"
#include "frstatusdlg.h"

namespace {

const QString kWaiting = QStringLiteral("Ожидание...");
const QString kReady = QStringLiteral("Готов");
const QString kPreviousRunning = QStringLiteral("Не завершилась обработка предыдущей команды");

}  // namespace

// What the UI thread and a command thread share about one command.  The
// thread sets `ended` after its last access to the page.
struct CFRFunction::CommandThread {
  std::atomic<bool> ended{false};
  QPointer<CFRFunction> page;  // read on the UI thread only
};

std::atomic<int> CFRFunction::s_running{0};

int CFRFunction::RunningThreads() { return s_running.load(); }

CFRFunction::CFRFunction(CFRMainDlg*)
    : tk::CDialog(134, nullptr), m_font(tk::FixedFont(14)), m_channel(tk::UiChannel::Create()) {
  setWindowFlags(Qt::Widget);
}

CFRFunction::~CFRFunction() { m_channel->Close(); }

bool CFRFunction::OnInitDialog() {
  m_hIdleEvent = std::make_unique<termina::sys::ManualResetEvent>(true);
  return true;
}

void CFRFunction::CreateInFrame(const QRect& rect) {
  setParent(TheMainWnd());
  setWindowFlags(Qt::Widget);
  InitDialog();
  BindCommandButtons();
  setGeometry(rect);
  show();
  raise();
}

void CFRFunction::BindCommandButtons() {
  if (auto* b = Item<QAbstractButton>(kExecuteId)) connect(b, &QAbstractButton::clicked, this, [this] { OnExecuteButton(); });
  if (auto* b = Item<QAbstractButton>(kStatusId)) connect(b, &QAbstractButton::clicked, this, [this] { OnStatusButton(); });
  if (auto* b = Item<QAbstractButton>(kInterruptId))
    connect(b, &QAbstractButton::clicked, this, [this] { OnInterruptButton(); });
}

void CFRFunction::OnOK() {
  if (CFRMainDlg* main = TheMainWnd()) main->EndDialog(tk::IDOK);
}

void CFRFunction::ShowStatusText(const QString& text) {
  OnUi([&] {
    if (CFRMainDlg* main = TheMainWnd()) main->SetStatusText(0, text);
  });
}

void CFRFunction::Execute() { MessageBox(QStringLiteral("Выберите команду")); }

bool CFRFunction::IsShiftOpen() {
  TRMA_FATAL_STATUS fatal{};
  TRMA_STATUS status{};
  TRMA_REC_STATUS doc{};
  Trma().GetStatus(&fatal, &status, &doc);
  return (status.byte & 0x04) != 0;
}

// ---- Services usable from the command thread ---------------------------------

int CFRFunction::MessageBox(const QString& text, const QString& title, tk::Icon icon, tk::Buttons buttons,
                            int defaultButton) {
  return OnUi([&] {
    tk::Message m{text, title, icon, buttons, defaultButton, this};
    return tk::ThePrompts().ShowMessage(m);
  });
}

QString CFRFunction::GetItemText(int id) {
  return OnUi([&] {
    if (auto* e = Item<QLineEdit>(id)) return e->text();
    if (auto* b = Item<QAbstractButton>(id)) return b->text();
    return QString();
  });
}

void CFRFunction::SetItemText(int id, const QString& text) {
  OnUi([&] {
    if (auto* e = Item<QLineEdit>(id)) e->setText(text);
    else if (auto* b = Item<QAbstractButton>(id)) b->setText(text);
  });
}

void CFRFunction::EnableItem(int id, bool enable) {
  OnUi([&] {
    if (QWidget* w = Item(id)) w->setEnabled(enable);
  });
}

void CFRFunction::FocusItem(int id) {
  OnUi([&] {
    if (QWidget* w = Item(id)) w->setFocus();
  });
}

// ---- Commands ------------------------------------------------------------------

void CFRFunction::OnExecuteButton() {
  if (m_hThread) {
    tk::ThePrompts().ShowMessage({kPreviousRunning, tk::kProgramName, tk::Icon::Exclamation, tk::Buttons::Ok, tk::IDOK, this});
    return;
  }
  if (!ValidateInput()) return;
  CFRMainDlg* main = TheMainWnd();
  // A device change re-initialises the main window, which replaces this
  // page; leave without touching it.
  if (!main || !main->CheckDevice()) return;
  SetCommandControlsEnabled(false);
  StartCommand(kExecuteId);
}

void CFRFunction::OnStatusButton() {
  if (m_hThread) {
    tk::ThePrompts().ShowMessage({kPreviousRunning, tk::kProgramName, tk::Icon::Exclamation, tk::Buttons::Ok, tk::IDOK, this});
    return;
  }
  StartCommand(kStatusId);
}

void CFRFunction::SetCommandControlsEnabled(bool enable) {
  for (int id : {static_cast<int>(kStatusId), 1087, 1129})
    if (QWidget* w = Item(id)) w->setEnabled(enable);
}

void CFRFunction::StartCommand(int id) {
  auto record = std::make_shared<CommandThread>();
  record->page = this;
  m_hThread = record;
  m_lastThread = record;
  ++s_running;
  std::thread(&CFRFunction::CommandThreadProc, new Request{id, this}, record).detach();
}

void CFRFunction::CommandThreadProc(Request* request, std::shared_ptr<CommandThread> record) {
  std::unique_ptr<Request> req(request);
  CFRFunction* page = req->page;
  // The page is not deleted before `record->ended` is set below, but once it
  // is retired every UI call throws PageGone and the thread winds down.
  try {
    page->m_hIdleEvent->set();
    page->OnUi([&] { page->OnCommandState(true, &kWaiting); });
    QString text = kReady;
    bool haveText = true;
    try {
      if (req->id == kStatusId)
        page->RunStatusCommand();
      else
        page->Execute();
    } catch (uint16_t code) {
      haveText = ErrorText(code, &text);
    } catch (const tk::PageGone&) {
      throw;
    } catch (...) {
      // Not a driver failure: end the command without a text of our own.
      haveText = false;
    }
    req.reset();
    page->OnUi([&] { page->OnCommandState(false, haveText ? &text : nullptr); });
    page->m_hIdleEvent->set();
  } catch (const tk::PageGone&) {
    // The page was replaced or the program is closing: touch nothing more.
  }
  --s_running;
  record->ended = true;
  tk::PostToUi([record] {
    if (CFRFunction* p = record->page.data(); p && p->m_bRetired) p->deleteLater();
  });
}

void CFRFunction::RunStatusCommand() {
  TRMA_FATAL_STATUS fatal{};
  TRMA_STATUS status{};
  TRMA_REC_STATUS doc{};
  Trma().GetStatus(&fatal, &status, &doc);
  uint16_t version = 120;
  Trma().GetVersion(&version);
  TRMA_PRINTER_STATUS printer{};
  const bool printerAvailable = version == 201;
  if (printerAvailable) Trma().GetPrinterStatus(&printer);
  OnUi([&] {
    CFRStatusDlg dlg(fatal.byte, status.byte, doc.byte, printer.byte, !printerAvailable, this);
    dlg.DoModal();
  });
}

void CFRFunction::OnCommandState(bool busy, const QString* text) {
  m_bBusy = busy;
  if (!busy) {
    m_hThread.reset();
    SetCommandControlsEnabled(true);
  }
  if (text) {
    ShowStatusText(*text);
    if (*text != kReady && *text != kWaiting)
      tk::ThePrompts().ShowMessage({*text, QStringLiteral("Ошибка"), tk::Icon::Error, tk::Buttons::Ok, tk::IDOK, this});
  }
}

void CFRFunction::OnInterruptButton() {
  if (!m_hThread || !m_hIdleEvent || !m_hIdleEvent->waitFor(std::chrono::milliseconds(0))) return;
  m_hIdleEvent->reset();
  try {
    Trma().CancelReport();
    tk::ThePrompts().ShowMessage(
        {QStringLiteral("Отчет прерван"), QStringLiteral("Предупреждение"), tk::Icon::Error, tk::Buttons::Ok, tk::IDOK, this});
  } catch (uint16_t code) {
    QString text;
    if (ErrorText(code, &text))
      tk::ThePrompts().ShowMessage({text, QStringLiteral("Ошибка"), tk::Icon::Error, tk::Buttons::Ok, tk::IDOK, this});
  }
}

// ---- Lifetime ------------------------------------------------------------------

void CFRFunction::Retire(bool now) {
  if (m_bRetired) return;
  m_bRetired = true;
  m_channel->Close();
  hide();
  setParent(nullptr);
  // deleteLater waits until control is back in the event loop that is
  // running now, so no handler of this page is on the stack any more.
  if (m_lastThread && !m_lastThread->ended) return;  // the thread's end deletes it
  if (now)
    delete this;
  else
    deleteLater();
}
