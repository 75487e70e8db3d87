// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>

#include <atomic>
#include <mutex>
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

// ---- Dialogs -----------------------------------------------------------

namespace {

// Eats the input that would toggle a check box.
class DisplayOnly : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease: return true;
      default: return false;
    }
  }
};

// The dialogs alive now, so that a message whose owner has gone is shown
// without one instead of over a dangling pointer.
std::mutex g_liveMutex;
std::set<const Dialog*>& LiveDialogs() {
  static std::set<const Dialog*> live;
  return live;
}

}  // namespace

QWidget* WidgetOf(const Dialog* dialog) {
  if (!dialog) return nullptr;
  {
    std::lock_guard lock(g_liveMutex);
    if (!LiveDialogs().count(dialog)) return nullptr;
  }
  return const_cast<CDialog*>(static_cast<const CDialog*>(dialog));
}

CDialog::CDialog(int templateId, QWidget* parent) : QDialog(parent), m_nTemplate(templateId) {
  std::lock_guard lock(g_liveMutex);
  LiveDialogs().insert(this);
}

CDialog::~CDialog() {
  std::lock_guard lock(g_liveMutex);
  LiveDialogs().erase(this);
}

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

std::string CDialog::Title() const { return S(windowTitle()); }

std::string CDialog::ItemText(int id) const {
  if (auto* e = Item<QLineEdit>(id)) return S(e->text());
  if (auto* t = Item<QPlainTextEdit>(id)) return S(t->toPlainText());
  if (auto* c = Item<QComboBox>(id)) return S(c->currentText());
  if (auto* b = Item<QAbstractButton>(id)) return S(b->text());
  if (auto* l = Item<QLabel>(id)) return S(l->text());
  if (auto* g = Item<QGroupBox>(id)) return S(g->title());
  return {};
}

void CDialog::SetItemTextNow(int id, const std::string& utf8) {
  const QString text = Q(utf8);
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

int CDialog::ComboCount(int id) const {
  auto* c = Item<QComboBox>(id);
  return c ? c->count() : 0;
}

std::string CDialog::ComboItemText(int id, int index) const {
  auto* c = Item<QComboBox>(id);
  return c ? S(c->itemText(index)) : std::string();
}

void CDialog::ShowItem(int id, bool show) {
  if (QWidget* w = Item(id)) w->setVisible(show);
}

bool CDialog::IsItemShown(int id) const {
  QWidget* w = Item(id);
  return w && !w->isHidden();
}

void CDialog::EnableItemNow(int id, bool enable) {
  if (QWidget* w = Item(id)) w->setEnabled(enable);
}

bool CDialog::IsItemEnabled(int id) const {
  QWidget* w = Item(id);
  return w && w->isEnabled();
}

void CDialog::FocusItemNow(int id) {
  if (QWidget* w = Item(id)) w->setFocus();
}

bool CDialog::SetPictureFile(int id, const std::string& path) {
  auto* frame = Item<QLabel>(id);
  if (!frame) return false;
  const QImage image = path.empty() ? QImage() : QImage(Q(path));
  if (image.isNull()) {
    frame->clear();
    return false;
  }
  QPixmap picture = QPixmap::fromImage(image);
  const QSize room = frame->contentsRect().size();
  if (picture.width() > room.width() || picture.height() > room.height())
    picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  frame->setPixmap(picture);
  return true;
}

void CDialog::SetFixedFont(int id) {
  // The cell height the page templates were laid out for.
  static const QFont fixed = FixedFont(14);
  if (QWidget* w = Item(id)) w->setFont(fixed);
}

void CDialog::AlignRulerOver(int rulerId, int boxId) {
  auto* ruler = Item<QLabel>(rulerId);
  const auto* box = Item<QLineEdit>(boxId);
  if (!ruler || !box) return;
  QStyleOptionFrame opt;
  opt.initFrom(box);
  opt.rect = box->rect();
  opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
  opt.midLineWidth = 0;
  opt.state |= QStyle::State_Sunken;
  const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
  // QLineEdit keeps two pixels between its contents rectangle and the text.
  const int textLeft = box->x() + contents.x() + box->textMargins().left() + 2;
  ruler->setIndent(0);
  ruler->setMargin(0);
  ruler->move(textLeft - ruler->contentsMargins().left(), ruler->y());
}

void CDialog::SetTextLimit(int id, int chars) {
  if (auto* e = Item<QLineEdit>(id)) e->setMaxLength(chars);
}

void CDialog::SetDisplayOnly(int id) {
  auto* box = Item<QAbstractButton>(id);
  if (!box) return;
  box->installEventFilter(new DisplayOnly(box));
  box->setFocusPolicy(Qt::NoFocus);
}

Rect CDialog::ItemRect(int id) const {
  const QWidget* w = Item(id);
  if (!w) return {};
  const QRect g = w->geometry();
  return {g.x(), g.y(), g.width(), g.height()};
}

void CDialog::MoveItemBy(int id, int dx, int dy) {
  if (QWidget* w = Item(id)) w->move(w->x() + dx, w->y() + dy);
}

void CDialog::ShortenBy(int dy) {
  if (isWindow())
    setFixedSize(width(), height() - dy);
  else
    resize(width(), height() - dy);
}

bool CDialog::HasItem(int id) const { return OptionalItem(id) != nullptr; }

std::vector<int> CDialog::PushButtonIds() const {
  std::vector<int> ids;
  for (QPushButton* b : findChildren<QPushButton*>())
    if (const int id = ControlId(b)) ids.push_back(id);
  return ids;
}

bool CDialog::Press(int id) {
  auto* b = Item<QAbstractButton>(id);
  if (!b || !b->isVisible() || !b->isEnabled()) return false;
  b->click();
  return true;
}

void CDialog::ShowModeless(bool show) {
  if (show) {
    setWindowModality(Qt::ApplicationModal);
    this->show();
  } else {
    hide();
  }
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

}  // namespace tk
