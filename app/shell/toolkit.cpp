// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit.h"

#include "register_worker.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFont>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <set>

namespace tk {

int ControlId(const QObject* control) {
  const QVariant v = control ? control->property("ctrlId") : QVariant();
  return v.isValid() ? v.toInt() : 0;
}

namespace lookups {
namespace {
std::atomic<bool> g_checking{false};
std::mutex g_mutex;
std::set<Miss> g_misses;
}  // namespace

void SetChecking(bool on) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_misses.clear();
  g_checking = on;
}

bool Checking() { return g_checking; }

std::vector<Miss> Misses() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return {g_misses.begin(), g_misses.end()};
}

void NoteIfAbsent(const QWidget* root, int id) {
  if (!root) return;
  for (const QWidget* w : root->findChildren<QWidget*>())
    if (ControlId(w) == id) return;  // there, only of another kind
  int templateId = 0;
  for (const QWidget* w = root; w && !templateId; w = w->parentWidget())
    if (const auto* d = qobject_cast<const CDialog*>(w)) templateId = d->TemplateId();
  std::lock_guard<std::mutex> lock(g_mutex);
  g_misses.insert({templateId, id});
}
}  // namespace lookups

// ---- Fonts -------------------------------------------------------------

void InstallFonts() {
  QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"), {QStringLiteral("Liberation Sans"),
                                                              QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")});
  QFont::insertSubstitutions(
      QStringLiteral("Courier New"),
      {QStringLiteral("Liberation Mono"), QStringLiteral("Cousine"), QStringLiteral("DejaVu Sans Mono")});
}

QFont DialogFont() {
  QFont f(QStringLiteral("MS Shell Dlg"));
  f.setStyleHint(QFont::SansSerif);
  // The templates were converted with a horizontal base unit of 6 pixels;
  // at 10 pixels the metric-compatible sans serif averages 5.8 pixels per
  // letter, the nearest match to 8 points of the original dialog font.
  f.setPixelSize(10);
  return f;
}

QFont FixedFont(int cellHeight) {
  QFont f(QStringLiteral("Courier New"));
  f.setStyleHint(QFont::TypeWriter);
  f.setFixedPitch(true);
  // A cell height includes the internal leading; the em square of Courier
  // New is 0.885 of its cell.
  f.setPixelSize(qMax(1, qRound(cellHeight * 0.885)));
  return f;
}

// ---- Prompts -----------------------------------------------------------

namespace {

QtPrompts g_qtPrompts;
Prompts* g_prompts = nullptr;

QMessageBox::StandardButton ToQt(int id) {
  switch (id) {
    case IDCANCEL: return QMessageBox::Cancel;
    case IDYES: return QMessageBox::Yes;
    case IDNO: return QMessageBox::No;
    default: return QMessageBox::Ok;
  }
}

int FromQt(int b) {
  switch (b) {
    case QMessageBox::Cancel: return IDCANCEL;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    default: return IDOK;
  }
}

}  // namespace

Prompts& ThePrompts() { return g_prompts ? *g_prompts : g_qtPrompts; }
void SetPrompts(Prompts* prompts) { g_prompts = prompts; }

int QtPrompts::ShowMessage(const Message& m) {
  QMessageBox box(m.owner);
  box.setWindowTitle(m.title);
  box.setText(m.text);
  switch (m.icon) {
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::None: break;
  }
  QMessageBox::StandardButtons buttons;
  switch (m.buttons) {
    case Buttons::Ok: buttons = QMessageBox::Ok; break;
    case Buttons::OkCancel: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case Buttons::YesNo: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case Buttons::YesNoCancel: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
  }
  box.setStandardButtons(buttons);
  box.setDefaultButton(ToQt(m.defaultButton));
  return FromQt(box.exec());
}

// ---- Questions of register sequences ----------------------------------------

Message PromptInteraction::ToMessage(const termina::app::Question& q, QWidget* owner) {
  using termina::app::Answer;
  Message m;
  m.text = QString::fromStdString(q.text);
  m.title = QString::fromStdString(q.title);
  m.icon = q.icon;
  m.buttons = q.buttons;
  switch (q.defaultAnswer) {
    case Answer::Ok: m.defaultButton = IDOK; break;
    case Answer::Cancel: m.defaultButton = IDCANCEL; break;
    case Answer::Yes: m.defaultButton = IDYES; break;
    case Answer::No: m.defaultButton = IDNO; break;
  }
  m.owner = owner;
  return m;
}

termina::app::Answer PromptInteraction::ToAnswer(int id) {
  using termina::app::Answer;
  switch (id) {
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    case IDCANCEL: return Answer::Cancel;
    default: return Answer::Ok;
  }
}

termina::app::Answer PromptInteraction::Ask(const termina::app::Question& q) {
  return ToAnswer(ThePrompts().ShowMessage(ToMessage(q, m_owner.data())));
}

int QtPrompts::RunModal(CDialog& dialog) { return dialog.exec(); }

namespace {

// The extension of the first filter's first pattern ("NVR Files (*.nvr)"
// gives "nvr"): a name typed without an extension gets it, as the classic
// file dialogs do with their default extension.
QString DefaultSuffix(const QString& filter) {
  static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.(\\w+)"));
  const QRegularExpressionMatch m = pattern.match(filter);
  return m.hasMatch() ? m.captured(1) : QString();
}

QString RunFileDialog(QWidget* owner, const QString& title, const QString& filter, bool save) {
  QFileDialog dlg(owner, title, QString(), filter);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The program's save dialogs replace an existing file without asking.
  dlg.setOption(QFileDialog::DontConfirmOverwrite, save);
  dlg.setDefaultSuffix(DefaultSuffix(filter));
  if (dlg.exec() != QDialog::Accepted) return QString();
  const QStringList files = dlg.selectedFiles();
  return files.isEmpty() ? QString() : files.front();
}

}  // namespace

QString QtPrompts::OpenFileName(QWidget* owner, const QString& title, const QString& filter) {
  return RunFileDialog(owner, title, filter, false);
}

QString QtPrompts::SaveFileName(QWidget* owner, const QString& title, const QString& filter) {
  return RunFileDialog(owner, title, filter, true);
}

int ScriptedPrompts::ShowMessage(const Message& m) {
  messages.push_back(m);
  if (onMessage) onMessage(m);
  if (answers.empty()) return m.defaultButton;
  const int a = answers.front();
  answers.erase(answers.begin());
  return a;
}

int ScriptedPrompts::RunModal(CDialog& dialog) {
  dialogs.push_back(dialog.TemplateId());
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.show();
  if (onDialog) onDialog(dialog);
  dialog.hide();
  return dialog.Ended() ? dialog.EndCode() : IDCANCEL;
}

QString ScriptedPrompts::OpenFileName(QWidget*, const QString&, const QString&) { return fileName; }
QString ScriptedPrompts::SaveFileName(QWidget*, const QString&, const QString&) { return fileName; }

QStringList ScriptedPrompts::Texts() const {
  QStringList l;
  for (const Message& m : messages) l << m.text;
  return l;
}

// ---- Dialogs -----------------------------------------------------------

CDialog::CDialog(int templateId, QWidget* parent) : QDialog(parent), m_nTemplate(templateId) {}

void CDialog::BuildTemplate() {
  if (m_bBuilt) return;
  LoadTemplate(TemplateId(), this);
  m_bBuilt = true;
  if (isWindow()) setFixedSize(size());
  BindStandardButtons();
}

void CDialog::InitDialog() {
  if (m_bInitDone) return;
  BuildTemplate();
  m_bInitDone = true;
  OnInitDialog();
}

// ---- Typed access to controls ----------------------------------------------

QString CDialog::ItemText(int id) const {
  if (auto* e = Item<QLineEdit>(id)) return e->text();
  if (auto* t = Item<QPlainTextEdit>(id)) return t->toPlainText();
  if (auto* c = Item<QComboBox>(id)) return c->currentText();
  if (auto* b = Item<QAbstractButton>(id)) return b->text();
  if (auto* l = Item<QLabel>(id)) return l->text();
  if (auto* g = Item<QGroupBox>(id)) return g->title();
  return QString();
}

void CDialog::SetItemTextNow(int id, const QString& text) {
  if (auto* e = Item<QLineEdit>(id))
    e->setText(text);
  else if (auto* t = Item<QPlainTextEdit>(id))
    t->setPlainText(text);
  else if (auto* b = Item<QAbstractButton>(id))
    b->setText(text);
  else if (auto* l = Item<QLabel>(id))
    l->setText(text);
  else if (auto* g = Item<QGroupBox>(id))
    g->setTitle(text);
}

bool CDialog::IsChecked(int id) const {
  auto* b = Item<QAbstractButton>(id);
  return b && b->isCheckable() && b->isChecked();
}

void CDialog::SetChecked(int id, bool checked) {
  if (auto* b = Item<QAbstractButton>(id)) b->setChecked(checked);
}

int CDialog::ComboIndex(int id) const {
  auto* c = Item<QComboBox>(id);
  return c ? c->currentIndex() : -1;
}

void CDialog::SetComboIndex(int id, int index) {
  if (auto* c = Item<QComboBox>(id)) c->setCurrentIndex(index);
}

void CDialog::ShowItem(int id, bool show) {
  if (QWidget* w = Item(id)) w->setVisible(show);
}

int CDialog::DoModal() {
  InitDialog();
  if (m_bEnded) return m_nEndCode;
  const int r = ThePrompts().RunModal(*this);
  return m_bEnded ? m_nEndCode : r;
}

void CDialog::EndDialog(int code) {
  m_bEnded = true;
  m_nEndCode = code;
  done(code);
}

void CDialog::BindStandardButtons() {
  if (auto* ok = OptionalItem<QAbstractButton>(IDOK)) connect(ok, &QAbstractButton::clicked, this, [this] { OnOK(); });
  if (auto* cancel = OptionalItem<QAbstractButton>(IDCANCEL))
    connect(cancel, &QAbstractButton::clicked, this, [this] { OnCancel(); });
}

// ---- UI-thread marshalling ---------------------------------------------

bool OnUiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void PostToUi(std::function<void()> f) {
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, std::move(f), Qt::QueuedConnection);
}

void UiChannel::Close() {
  {
    std::lock_guard lock(m_mutex);
    m_bOpen = false;
    m_cv.notify_all();
  }
  if (reg::Worker::Started()) reg::Worker::Get().Wake();
}

bool UiChannel::IsOpen() const {
  std::lock_guard lock(m_mutex);
  return m_bOpen;
}

void UiChannel::Run(std::function<void()> job) {
  auto task = std::make_shared<Task>();
  {
    std::lock_guard lock(m_mutex);
    if (!m_bOpen) throw PageGone{};
  }
  std::shared_ptr<UiChannel> self = shared_from_this();
  // `job` refers to the worker's stack; it is only run while the worker is
  // known to wait for it (state Pending under the lock, channel open).
  PostToUi([self, task, &job] {
    {
      std::lock_guard lock(self->m_mutex);
      if (!self->m_bOpen) return;
      task->state = Task::Running;
    }
    try {
      job();
    } catch (...) { task->error = std::current_exception(); }
    {
      std::lock_guard lock(self->m_mutex);
      task->state = Task::Done;
      self->m_cv.notify_all();
    }
    if (reg::Worker::Started()) reg::Worker::Get().Wake();
  });
  const auto answered = [&] { return task->state == Task::Done || (task->state == Task::Pending && !m_bOpen); };
  if (reg::Worker::OnWorker()) {
    // The register worker goes on with the jobs queued meanwhile.
    reg::Worker::Get().ServeUntil([&] {
      std::lock_guard lock(m_mutex);
      return answered();
    });
  }
  std::unique_lock lock(m_mutex);
  m_cv.wait(lock, answered);
  if (task->state != Task::Done) throw PageGone{};
  if (task->error) std::rethrow_exception(task->error);
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() >= ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace tk
