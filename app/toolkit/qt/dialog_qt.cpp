// SPDX-License-Identifier: GPL-3.0-or-later
#include "toolkit_qt.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QFont>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QStatusBar>
#include <QStyleOptionFrame>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QValidator>

#include <atomic>
#include <mutex>
#include <set>

#include "editex.h"

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
    if (const auto* d = dynamic_cast<const CDialog::Impl*>(w)) templateId = d->owner.TemplateId();
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

// A typing limit that, unlike QLineEdit's maximum length, never cuts a
// text the program puts into the box (see Dialog::SetTypingLimit).
class TypingLimit : public QValidator {
 public:
  TypingLimit(QLineEdit* box, int limit) : QValidator(box), m_limit(limit), m_accepted(box->text()) {
    box->setValidator(this);
    // Every change that reached the box, typed or put there by the
    // program, is the text a later change is measured against.
    QObject::connect(box, &QLineEdit::textChanged, this, [this](const QString& t) { m_accepted = t; });
  }
  State validate(QString& input, int& pos) const override {
    const int room = std::max<int>(m_limit, static_cast<int>(m_accepted.size()));
    const int excess = static_cast<int>(input.size()) - room;
    if (excess <= 0) return Acceptable;
    // The text grew past the limit by typing or pasting at the caret,
    // which stands after the inserted characters: drop the inserted
    // characters that do not fit.
    if (pos < excess) return Invalid;
    input.remove(pos - excess, excess);
    pos -= excess;
    return Acceptable;
  }

 private:
  int m_limit;
  QString m_accepted;
};

// Passes the keys meant for a control through the page's filter.
class KeyFilterObject : public QObject {
 public:
  KeyFilterObject(QObject* parent, KeyFilter filter) : QObject(parent), m_filter(std::move(filter)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool press = event->type() == QEvent::KeyPress;
    if ((press || event->type() == QEvent::ShortcutOverride) && m_filter &&
        m_filter(KeyOf(static_cast<QKeyEvent*>(event), !press))) {
      event->accept();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  KeyFilter m_filter;
};

// The dialogs alive now, so that a message whose owner has gone is shown
// without one instead of over a dangling pointer.
std::mutex g_liveMutex;
std::set<const Dialog*>& LiveDialogs() {
  static std::set<const Dialog*> live;
  return live;
}

}  // namespace

Key KeyOf(const QKeyEvent* event, bool shortcutRequest) {
  Key k;
  k.shortcutRequest = shortcutRequest;
  switch (event->key()) {
    case Qt::Key_Tab: k.kind = Key::Kind::Tab; break;
    case Qt::Key_Backtab: k.kind = Key::Kind::BackTab; break;
    case Qt::Key_Return:
    case Qt::Key_Enter: k.kind = Key::Kind::Enter; break;
    case Qt::Key_Escape: k.kind = Key::Kind::Escape; break;
    default: break;
  }
  const QString typed = event->text();
  // Delete carries 0x7F on X11 and Escape 0x1B: only printable text counts.
  if (typed.size() == 1 && typed.at(0).isPrint()) {
    k.text = S(typed);
    if (k.kind == Key::Kind::Other) k.kind = Key::Kind::Typed;
  }
  return k;
}

QWidget* WidgetOf(const Dialog* dialog) {
  if (!dialog) return nullptr;
  {
    std::lock_guard lock(g_liveMutex);
    if (!LiveDialogs().count(dialog)) return nullptr;
  }
  const auto* d = dynamic_cast<const CDialog*>(dialog);
  return d ? d->GetImpl() : nullptr;
}

bool SaveImage(const Dialog& dialog, const std::string& path) {
  QWidget* w = WidgetOf(&dialog);
  return w && w->isVisible() && w->grab().save(Q(path), "PNG");
}

CDialog::Impl::Impl(CDialog& o, QWidget* parent) : QDialog(parent), owner(o) {}

CDialog::Impl::~Impl() {
  if (lockFilterInstalled) qApp->removeEventFilter(this);
}

void CDialog::Impl::done(int code) {
  owner.m_bEnded = true;
  owner.m_nEndCode = code;
  QDialog::done(code);
  owner.OnEnded(code);
}

void CDialog::Impl::keyPressEvent(QKeyEvent* event) {
  const Key key = KeyOf(event, false);
  if ((windowKeys && windowKeys(key)) || owner.OnWindowKey(key)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CDialog::Impl::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (statusBar) {
    const int h = statusBar->sizeHint().height();
    statusBar->setGeometry(0, height() - h, width(), h);
  }
}

bool CDialog::Impl::eventFilter(QObject* watched, QEvent* event) {
  // While input is locked, Escape anywhere in the window is the window's.
  if (lockFilterInstalled && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->window() == this) {
      if (onEscape) onEscape();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CDialog::Impl::Connect(int id, int kind, QMetaObject::Connection c) {
  auto& slot = handlers[{id, kind}];
  if (slot) disconnect(slot);
  slot = c;
}

CDialog::CDialog(int templateId, Dialog* parent)
    : m_impl(std::make_unique<Impl>(*this, WidgetOf(parent))), m_nTemplate(templateId) {
  std::lock_guard lock(g_liveMutex);
  LiveDialogs().insert(this);
}

CDialog::~CDialog() {
  {
    std::lock_guard lock(g_liveMutex);
    LiveDialogs().erase(this);
  }
  // Child windows (pages) belong to their own dialogs, which delete them:
  // they leave this window first.
  for (QDialog* child : m_impl->findChildren<QDialog*>(Qt::FindDirectChildrenOnly))
    if (dynamic_cast<Impl*>(child)) child->setParent(nullptr);
  // The window goes first, so that no handler of it runs on a half-gone
  // dialog.
  m_impl.reset();
}

void CDialog::BuildTemplate() {
  if (m_bBuilt) return;
  Impl* w = m_impl.get();
  LoadTemplate(TemplateId(), w);
  m_bBuilt = true;
  if (w->isWindow()) w->setFixedSize(w->size());
  // Tabs are chosen with the mouse or Ctrl+Tab, not focused; a tree
  // selects one node at a time.
  for (QTabWidget* t : w->findChildren<QTabWidget*>()) t->tabBar()->setFocusPolicy(Qt::NoFocus);
  for (QTreeWidget* t : w->findChildren<QTreeWidget*>()) {
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setStyleSheet(QStringLiteral("QTreeView::item { padding: 1px 2px; }"));
  }
  // Pictures named by a bitmap number in the template.
  for (QLabel* label : w->findChildren<QLabel*>()) {
    const QVariant id = label->property("bitmapId");
    if (id.isValid()) label->setPixmap(LoadBitmap(id.toInt()));
  }
  if (auto* ok = w->OptionalItem<QAbstractButton>(IDOK))
    QObject::connect(ok, &QAbstractButton::clicked, w, [this] { OnOK(); });
  if (auto* cancel = w->OptionalItem<QAbstractButton>(IDCANCEL))
    QObject::connect(cancel, &QAbstractButton::clicked, w, [this] { OnCancel(); });
}

void CDialog::InitDialog() {
  if (m_bInitDone) return;
  BuildTemplate();
  m_bInitDone = true;
  OnInitDialog();
}

// ---- Typed access to controls ----------------------------------------------

std::string CDialog::Title() const { return S(m_impl->windowTitle()); }

std::string CDialog::ItemText(int id) const {
  if (auto* e = m_impl->Item<QLineEdit>(id)) return S(e->text());
  if (auto* t = m_impl->Item<QPlainTextEdit>(id)) return S(t->toPlainText());
  if (auto* c = m_impl->Item<QComboBox>(id)) return S(c->currentText());
  if (auto* b = m_impl->Item<QAbstractButton>(id)) return S(b->text());
  if (auto* l = m_impl->Item<QLabel>(id)) return S(l->text());
  if (auto* g = m_impl->Item<QGroupBox>(id)) return S(g->title());
  return {};
}

void CDialog::SetItemTextNow(int id, const std::string& utf8) {
  const QString text = Q(utf8);
  if (auto* e = m_impl->Item<QLineEdit>(id))
    e->setText(text);
  else if (auto* t = m_impl->Item<QPlainTextEdit>(id))
    t->setPlainText(text);
  else if (auto* b = m_impl->Item<QAbstractButton>(id))
    b->setText(text);
  else if (auto* l = m_impl->Item<QLabel>(id))
    l->setText(text);
  else if (auto* g = m_impl->Item<QGroupBox>(id))
    g->setTitle(text);
}

bool CDialog::IsChecked(int id) const {
  auto* b = m_impl->Item<QAbstractButton>(id);
  return b && b->isCheckable() && b->isChecked();
}

void CDialog::SetChecked(int id, bool checked) {
  auto* b = m_impl->Item<QAbstractButton>(id);
  if (!b) return;
  // A radio button of a group can only be cleared with the group's
  // exclusiveness off for a moment (a group may show neither choice).
  if (!checked && b->autoExclusive() && b->isChecked()) {
    b->setAutoExclusive(false);
    b->setChecked(false);
    b->setAutoExclusive(true);
    return;
  }
  b->setChecked(checked);
}

int CDialog::ComboIndex(int id) const {
  auto* c = m_impl->Item<QComboBox>(id);
  return c ? c->currentIndex() : -1;
}

void CDialog::SetComboIndex(int id, int index) {
  if (auto* c = m_impl->Item<QComboBox>(id)) c->setCurrentIndex(index);
}

int CDialog::ComboCount(int id) const {
  auto* c = m_impl->Item<QComboBox>(id);
  return c ? c->count() : 0;
}

std::string CDialog::ComboItemText(int id, int index) const {
  auto* c = m_impl->Item<QComboBox>(id);
  return c ? S(c->itemText(index)) : std::string();
}

void CDialog::ShowItem(int id, bool show) {
  if (QWidget* w = m_impl->Item(id)) w->setVisible(show);
}

bool CDialog::IsItemShown(int id) const {
  QWidget* w = m_impl->Item(id);
  return w && !w->isHidden();
}

void CDialog::EnableItemNow(int id, bool enable) {
  if (QWidget* w = m_impl->Item(id)) w->setEnabled(enable);
}

bool CDialog::IsItemEnabled(int id) const {
  QWidget* w = m_impl->Item(id);
  return w && w->isEnabled();
}

void CDialog::FocusItemNow(int id) {
  if (QWidget* w = m_impl->Item(id)) w->setFocus();
}

bool CDialog::SetPictureFile(int id, const std::string& path) {
  auto* frame = m_impl->Item<QLabel>(id);
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
  if (QWidget* w = m_impl->Item(id)) w->setFont(fixed);
}

void CDialog::AlignRulerOver(int rulerId, int boxId) {
  auto* ruler = m_impl->Item<QLabel>(rulerId);
  const auto* box = m_impl->Item<QLineEdit>(boxId);
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
  if (auto* e = m_impl->Item<QLineEdit>(id)) e->setMaxLength(chars);
}

void CDialog::SetDisplayOnly(int id) {
  auto* box = m_impl->Item<QAbstractButton>(id);
  if (!box) return;
  box->installEventFilter(new DisplayOnly(box));
  box->setFocusPolicy(Qt::NoFocus);
}

Rect CDialog::ItemRect(int id) const {
  const QWidget* w = m_impl->Item(id);
  if (!w) return {};
  const QRect g = w->geometry();
  return {g.x(), g.y(), g.width(), g.height()};
}

void CDialog::MoveItemBy(int id, int dx, int dy) {
  if (QWidget* w = m_impl->Item(id)) w->move(w->x() + dx, w->y() + dy);
}

void CDialog::ShortenBy(int dy) {
  Impl* w = m_impl.get();
  if (w->isWindow())
    w->setFixedSize(w->width(), w->height() - dy);
  else
    w->resize(w->width(), w->height() - dy);
}

bool CDialog::HasItem(int id) const { return m_impl->OptionalItem(id) != nullptr; }

std::vector<int> CDialog::PushButtonIds() const {
  std::vector<int> ids;
  for (QPushButton* b : m_impl->findChildren<QPushButton*>())
    if (const int id = ControlId(b)) ids.push_back(id);
  return ids;
}

bool CDialog::Press(int id) {
  auto* b = m_impl->Item<QAbstractButton>(id);
  if (!b || !b->isVisible() || !b->isEnabled()) return false;
  b->click();
  return true;
}

Date CDialog::GetDate(int id) const {
  auto* p = m_impl->Item<QDateTimeEdit>(id);
  if (!p) return {};
  const QDate d = p->date();
  return {d.year(), d.month(), d.day()};
}

void CDialog::SetDate(int id, const Date& date) {
  if (auto* p = m_impl->Item<QDateTimeEdit>(id)) {
    const QSignalBlocker block(p);
    p->setDate(QDate(date.year, date.month, date.day));
  }
}

Time CDialog::GetTime(int id) const {
  auto* p = m_impl->Item<QDateTimeEdit>(id);
  if (!p) return {};
  const QTime t = p->time();
  return {t.hour(), t.minute(), t.second()};
}

void CDialog::SetTime(int id, const Time& time) {
  if (auto* p = m_impl->Item<QDateTimeEdit>(id)) {
    const QSignalBlocker block(p);
    p->setTime(QTime(time.hour, time.minute, time.second));
  }
}

int CDialog::GetNumber(int id) const {
  auto* s = m_impl->Item<QSpinBox>(id);
  return s ? s->value() : 0;
}

void CDialog::SetNumber(int id, int value) {
  if (auto* s = m_impl->Item<QSpinBox>(id)) {
    const QSignalBlocker block(s);
    s->setValue(value);
  }
}

void CDialog::SetNumberRange(int id, int low, int high) {
  if (auto* s = m_impl->Item<QSpinBox>(id)) {
    const QSignalBlocker block(s);
    s->setRange(low, high);
  }
}

void CDialog::SetUpDownBuddy(int upDownId, int editId) {
  auto* s = m_impl->Item<QSpinBox>(upDownId);
  QWidget* edit = m_impl->Item(editId);
  if (!s || !edit) return;
  s->setFocusPolicy(Qt::NoFocus);  // the arrows only; typing goes into the edit
  s->setFocusProxy(edit);
}

void CDialog::SetComboItems(int id, const std::vector<std::string>& items) {
  auto* c = m_impl->Item<QComboBox>(id);
  if (!c) return;
  const QSignalBlocker block(c);
  c->clear();
  for (const std::string& item : items) c->addItem(Q(item));
  c->setCurrentIndex(-1);
}

void CDialog::SetPasswordEntry(int id) {
  if (auto* e = m_impl->Item<QLineEdit>(id)) e->setEchoMode(QLineEdit::Password);
}

void CDialog::SetTextPattern(int id, const std::string& pattern) {
  if (auto* e = m_impl->Item<QLineEdit>(id))
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(Q(pattern)), e));
}

void CDialog::SetTypingLimit(int id, int chars) {
  if (auto* e = m_impl->Item<QLineEdit>(id)) new TypingLimit(e, chars);
}

void CDialog::SetDecimalOnly(int id) {
  if (auto* e = m_impl->Item<CEditEx>(id)) e->m_bNumeric = true;
}

int CDialog::FocusedItem() const {
  for (QWidget* w = QApplication::focusWidget(); w && w != m_impl.get(); w = w->parentWidget())
    if (const int id = ControlId(w)) return m_impl->isAncestorOf(w) ? id : 0;
  return 0;
}

bool CDialog::IsPushButton(int id) const { return m_impl->OptionalItem<QPushButton>(id) != nullptr; }

void CDialog::OnClicked(int id, std::function<void()> handler) {
  if (auto* b = m_impl->Item<QAbstractButton>(id))
    m_impl->Connect(id, 0,
                    QObject::connect(b, &QAbstractButton::clicked, m_impl.get(), [h = std::move(handler)] { h(); }));
}

void CDialog::OnChanged(int id, std::function<void()> handler) {
  auto h = [h = std::move(handler)] { h(); };
  if (auto* e = m_impl->Item<QLineEdit>(id))
    m_impl->Connect(id, 1, QObject::connect(e, &QLineEdit::textChanged, m_impl.get(), h));
  else if (auto* c = m_impl->Item<QComboBox>(id))
    m_impl->Connect(id, 1, QObject::connect(c, &QComboBox::currentIndexChanged, m_impl.get(), h));
  else if (auto* p = m_impl->Item<QDateTimeEdit>(id))
    m_impl->Connect(id, 1, QObject::connect(p, &QDateTimeEdit::dateTimeChanged, m_impl.get(), h));
  else if (auto* s = m_impl->Item<QSpinBox>(id))
    m_impl->Connect(id, 1, QObject::connect(s, &QSpinBox::valueChanged, m_impl.get(), h));
  else if (auto* b = m_impl->Item<QAbstractButton>(id))
    m_impl->Connect(id, 1, QObject::connect(b, &QAbstractButton::toggled, m_impl.get(), h));
  else if (auto* tabs = m_impl->Item<QTabWidget>(id))
    m_impl->Connect(id, 1, QObject::connect(tabs, &QTabWidget::currentChanged, m_impl.get(), h));
  else if (auto* tree = m_impl->Item<QTreeWidget>(id))
    m_impl->Connect(id, 1, QObject::connect(tree, &QTreeWidget::currentItemChanged, m_impl.get(), h));
}

void CDialog::OnEditDone(int id, std::function<void()> handler) {
  if (auto* e = m_impl->Item<QLineEdit>(id))
    m_impl->Connect(id, 2,
                    QObject::connect(e, &QLineEdit::editingFinished, m_impl.get(), [h = std::move(handler)] { h(); }));
}

void CDialog::SetKeyFilter(int id, KeyFilter filter) {
  if (id == 0) {
    m_impl->windowKeys = std::move(filter);
    return;
  }
  QWidget* w = m_impl->Item(id);
  if (!w) return;
  if (auto it = m_impl->keyFilters.find(id); it != m_impl->keyFilters.end()) delete it->second;
  m_impl->keyFilters[id] = nullptr;
  if (!filter) return;
  auto* f = new KeyFilterObject(w, std::move(filter));
  w->installEventFilter(f);
  m_impl->keyFilters[id] = f;
}

int CDialog::StartTimer(int ms, std::function<void()> handler) {
  auto* t = new QTimer(m_impl.get());
  QObject::connect(t, &QTimer::timeout, m_impl.get(), [h = std::move(handler)] { h(); });
  t->start(ms);
  const int id = m_impl->nextTimer++;
  m_impl->timers[id] = t;
  return id;
}

void CDialog::StopTimer(int timer) {
  auto it = m_impl->timers.find(timer);
  if (it == m_impl->timers.end()) return;
  it->second->stop();
  it->second->deleteLater();
  m_impl->timers.erase(it);
}

void CDialog::ShowModeless(bool show) {
  if (show) {
    m_impl->setWindowModality(Qt::ApplicationModal);
    m_impl->show();
  } else {
    m_impl->hide();
  }
}

// ---- fiscal/NVR pages ----

void CDialog::SetTitle(const std::string& title) { m_impl->setWindowTitle(Q(title)); }

void CDialog::SelectItemText(int id) {
  if (auto* e = m_impl->Item<QLineEdit>(id)) e->selectAll();
}

void CDialog::EnableWindowNow(bool enable) { m_impl->setEnabled(enable); }

int CDialog::DoModal() {
  InitDialog();
  if (m_bEnded) return m_nEndCode;
  const int r = ThePrompts().RunModal(*this);
  return m_bEnded ? m_nEndCode : r;
}

void CDialog::EndDialog(int code) { m_impl->done(code); }

// ---- The window as a whole -------------------------------------------------

void CDialog::BecomeChildOf(CDialog* host) {
  Impl* w = m_impl.get();
  if (host)
    w->setParent(host->GetImpl(), Qt::Widget);
  else
    w->setParent(nullptr);
}

void CDialog::PlaceAt(const Rect& r) {
  Impl* w = m_impl.get();
  w->setGeometry(r.x, r.y, r.width, r.height);
  w->show();
  w->raise();
}

void CDialog::SetVisible(bool visible) { m_impl->setVisible(visible); }

bool CDialog::IsVisible() const { return m_impl->isVisible(); }

void CDialog::SetIcon(int iconId) { m_impl->setWindowIcon(LoadIcon(iconId)); }

void CDialog::SetWindowWaitCursor(bool wait) {
  if (wait)
    m_impl->setCursor(Qt::WaitCursor);
  else
    m_impl->unsetCursor();
}

bool CDialog::HasFocusWithin() const {
  QWidget* f = QApplication::focusWidget();
  return f && (f == m_impl.get() || m_impl->isAncestorOf(f));
}

void CDialog::Repaint() { m_impl->update(); }

void CDialog::LockInput(CDialog* child, int keep, std::function<void()> onEscape) {
  Impl* w = m_impl.get();
  w->focusBeforeLock = QApplication::focusWidget();
  // No control keeps the focus while the window waits, as in a disabled
  // window: keys reach the window itself (Escape), and the focus is not
  // handed to the kept button, where Enter would press it.
  if (w->focusBeforeLock && w->focusBeforeLock->window() == w) w->focusBeforeLock->clearFocus();
  const auto lock = [w](QWidget* c) {
    if (!c->isEnabled()) return;
    c->setEnabled(false);
    w->locked.emplace_back(c);
  };
  QWidget* page = child ? child->GetImpl() : nullptr;
  for (QWidget* c : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (c != page && !c->isWindow()) lock(c);
  if (page) {
    QWidget* kept = child->GetImpl()->OptionalItem(keep);
    for (QWidget* c : page->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (c != kept && !c->isWindow()) lock(c);
  }
  w->onEscape = std::move(onEscape);
  if (!w->lockFilterInstalled) qApp->installEventFilter(w);
  w->lockFilterInstalled = true;
}

void CDialog::UnlockInput() {
  Impl* w = m_impl.get();
  if (w->lockFilterInstalled) qApp->removeEventFilter(w);
  w->lockFilterInstalled = false;
  w->onEscape = nullptr;
  for (const QPointer<QWidget>& c : w->locked)
    if (c) c->setEnabled(true);
  w->locked.clear();
  // The focus goes back where it was, so that keyboard navigation (in the
  // tree, say) goes on.
  QPointer<QWidget> focus = w->focusBeforeLock;
  w->focusBeforeLock = nullptr;
  if (focus && focus->isVisible() && focus->isEnabled() && focus->window() == w) focus->setFocus();
}

void CDialog::DisableControlsExcept(int keep) {
  Impl* w = m_impl.get();
  QWidget* kept = w->OptionalItem(keep);
  for (QWidget* c : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (c == kept || c->isWindow() || !c->isEnabled()) continue;
    c->setEnabled(false);
    w->disabled.emplace_back(c);
  }
}

void CDialog::EnableControlsAgain() {
  for (const QPointer<QWidget>& c : m_impl->disabled)
    if (c) c->setEnabled(true);
  m_impl->disabled.clear();
}

void CDialog::SetNotDefault(int id) {
  if (auto* b = m_impl->Item<QPushButton>(id)) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
}

// ---- Tree view ---------------------------------------------------------------

void CDialog::TreeClear(int id) {
  if (auto* t = m_impl->Item<QTreeWidget>(id)) {
    const QSignalBlocker block(t);
    t->clear();
  }
}

int CDialog::TreeAppend(int id, const std::string& text) {
  auto* t = m_impl->Item<QTreeWidget>(id);
  if (!t) return -1;
  const QSignalBlocker block(t);
  auto* item = new QTreeWidgetItem(t, QStringList{Q(text)});
  return t->indexOfTopLevelItem(item);
}

int CDialog::TreeCount(int id) const {
  auto* t = m_impl->Item<QTreeWidget>(id);
  return t ? t->topLevelItemCount() : 0;
}

std::string CDialog::TreeText(int id, int row) const {
  auto* t = m_impl->Item<QTreeWidget>(id);
  QTreeWidgetItem* item = t ? t->topLevelItem(row) : nullptr;
  return item ? S(item->text(0)) : std::string();
}

int CDialog::TreeSelection(int id) const {
  auto* t = m_impl->Item<QTreeWidget>(id);
  QTreeWidgetItem* item = t ? t->currentItem() : nullptr;
  return item ? t->indexOfTopLevelItem(item) : -1;
}

void CDialog::TreeSelect(int id, int row) {
  auto* t = m_impl->Item<QTreeWidget>(id);
  if (!t) return;
  const QSignalBlocker block(t);
  if (QTreeWidgetItem* item = t->topLevelItem(row)) t->setCurrentItem(item);
}

void CDialog::TreeSetRedraw(int id, bool redraw) {
  auto* t = m_impl->Item<QTreeWidget>(id);
  if (!t) return;
  t->setUpdatesEnabled(redraw);
  if (redraw) t->update();
}

// ---- Tab control -------------------------------------------------------------

void CDialog::TabsReset(int id, const std::vector<std::string>& captions) {
  auto* tabs = m_impl->Item<QTabWidget>(id);
  if (!tabs) return;
  const QSignalBlocker block(tabs);
  while (tabs->count() > 0) {
    QWidget* w = tabs->widget(0);
    tabs->removeTab(0);
    delete w;
  }
  for (const std::string& caption : captions) tabs->addTab(new QWidget, Q(caption));
  tabs->setCurrentIndex(0);
}

int CDialog::TabCount(int id) const {
  auto* tabs = m_impl->Item<QTabWidget>(id);
  return tabs ? tabs->count() : 0;
}

std::string CDialog::TabText(int id, int index) const {
  auto* tabs = m_impl->Item<QTabWidget>(id);
  return tabs ? S(tabs->tabText(index)) : std::string();
}

int CDialog::TabIndex(int id) const {
  auto* tabs = m_impl->Item<QTabWidget>(id);
  return tabs ? tabs->currentIndex() : -1;
}

void CDialog::SetTabIndex(int id, int index) {
  if (auto* tabs = m_impl->Item<QTabWidget>(id)) tabs->setCurrentIndex(index);
}

Rect CDialog::TabHeaderRect(int id, int index) const {
  auto* tabs = m_impl->Item<QTabWidget>(id);
  if (!tabs) return {};
  const QRect r = tabs->tabBar()->tabRect(index);
  return {r.x(), r.y(), r.width(), r.height()};
}

// ---- Status bar --------------------------------------------------------------

void CDialog::AddStatusBar(int id, int secondWidth) {
  Impl* w = m_impl.get();
  if (w->statusBar) return;
  w->statusBar = new QStatusBar(w);
  w->statusBar->setProperty("ctrlId", id);
  w->statusBar->setSizeGripEnabled(false);
  for (auto*& part : w->statusPart) {
    part = new QLabel(w->statusBar);
    part->setMargin(2);
  }
  w->statusBar->addWidget(w->statusPart[0], 1);
  w->statusPart[1]->setFixedWidth(secondWidth);
  w->statusBar->addPermanentWidget(w->statusPart[1]);
  const int h = w->statusBar->sizeHint().height();
  w->statusBar->setGeometry(0, w->height() - h, w->width(), h);
}

void CDialog::SetStatusPart(int part, const std::string& text) {
  if (part >= 0 && part < 2 && m_impl->statusPart[part]) m_impl->statusPart[part]->setText(Q(text));
}

std::string CDialog::StatusPart(int part) const {
  return part >= 0 && part < 2 && m_impl->statusPart[part] ? S(m_impl->statusPart[part]->text()) : std::string();
}

}  // namespace tk
