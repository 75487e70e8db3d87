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
#include <QStyleOptionFrame>
#include <QTimer>
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

// Passes the keys meant for a control through the page's filter.  On the
// window itself it sees the keys no control took before the window's own
// key handling (a derived window's included), and only the keys pressed:
// the shortcut requests are the controls' business.
class KeyFilterObject : public QObject {
 public:
  KeyFilterObject(QObject* parent, KeyFilter filter, bool shortcutRequests)
      : QObject(parent), m_filter(std::move(filter)), m_shortcutRequests(shortcutRequests) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool press = event->type() == QEvent::KeyPress;
    if ((press || (m_shortcutRequests && event->type() == QEvent::ShortcutOverride)) && m_filter &&
        m_filter(KeyOf(static_cast<QKeyEvent*>(event), !press))) {
      event->accept();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  KeyFilter m_filter;
  bool m_shortcutRequests;
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
  return const_cast<CDialog*>(static_cast<const CDialog*>(dialog));
}

CDialog::CDialog(int templateId, QWidget* parent) : QDialog(parent), m_nTemplate(templateId) {
  std::lock_guard lock(g_liveMutex);
  LiveDialogs().insert(this);
}

CDialog::CDialog(int templateId, Dialog* parent) : CDialog(templateId, WidgetOf(parent)) {}

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
  auto* b = Item<QAbstractButton>(id);
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

Date CDialog::GetDate(int id) const {
  auto* p = Item<QDateTimeEdit>(id);
  if (!p) return {};
  const QDate d = p->date();
  return {d.year(), d.month(), d.day()};
}

void CDialog::SetDate(int id, const Date& date) {
  if (auto* p = Item<QDateTimeEdit>(id)) {
    const QSignalBlocker block(p);
    p->setDate(QDate(date.year, date.month, date.day));
  }
}

Time CDialog::GetTime(int id) const {
  auto* p = Item<QDateTimeEdit>(id);
  if (!p) return {};
  const QTime t = p->time();
  return {t.hour(), t.minute(), t.second()};
}

void CDialog::SetTime(int id, const Time& time) {
  if (auto* p = Item<QDateTimeEdit>(id)) {
    const QSignalBlocker block(p);
    p->setTime(QTime(time.hour, time.minute, time.second));
  }
}

int CDialog::GetNumber(int id) const {
  auto* s = Item<QSpinBox>(id);
  return s ? s->value() : 0;
}

void CDialog::SetNumber(int id, int value) {
  if (auto* s = Item<QSpinBox>(id)) {
    const QSignalBlocker block(s);
    s->setValue(value);
  }
}

void CDialog::SetNumberRange(int id, int low, int high) {
  if (auto* s = Item<QSpinBox>(id)) {
    const QSignalBlocker block(s);
    s->setRange(low, high);
  }
}

void CDialog::SetUpDownBuddy(int upDownId, int editId) {
  auto* s = Item<QSpinBox>(upDownId);
  QWidget* edit = Item(editId);
  if (!s || !edit) return;
  s->setFocusPolicy(Qt::NoFocus);  // the arrows only; typing goes into the edit
  s->setFocusProxy(edit);
}

void CDialog::SetComboItems(int id, const std::vector<std::string>& items) {
  auto* c = Item<QComboBox>(id);
  if (!c) return;
  const QSignalBlocker block(c);
  c->clear();
  for (const std::string& item : items) c->addItem(Q(item));
  c->setCurrentIndex(-1);
}

void CDialog::SetPasswordEntry(int id) {
  if (auto* e = Item<QLineEdit>(id)) e->setEchoMode(QLineEdit::Password);
}

void CDialog::SetTextPattern(int id, const std::string& pattern) {
  if (auto* e = Item<QLineEdit>(id))
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(Q(pattern)), e));
}

void CDialog::SetTypingLimit(int id, int chars) {
  if (auto* e = Item<QLineEdit>(id)) new TypingLimit(e, chars);
}

void CDialog::SetDecimalOnly(int id) {
  if (auto* e = Item<CEditEx>(id)) e->m_bNumeric = true;
}

int CDialog::FocusedItem() const {
  for (QWidget* w = QApplication::focusWidget(); w && w != this; w = w->parentWidget())
    if (const int id = ControlId(w)) return isAncestorOf(w) ? id : 0;
  return 0;
}

bool CDialog::IsPushButton(int id) const { return OptionalItem<QPushButton>(id) != nullptr; }

void CDialog::Connect(int id, int kind, QMetaObject::Connection c) {
  auto& slot = m_handlers[{id, kind}];
  if (slot) disconnect(slot);
  slot = c;
}

void CDialog::OnClicked(int id, std::function<void()> handler) {
  if (auto* b = Item<QAbstractButton>(id))
    Connect(id, 0, connect(b, &QAbstractButton::clicked, this, [h = std::move(handler)] { h(); }));
}

void CDialog::OnChanged(int id, std::function<void()> handler) {
  auto h = [h = std::move(handler)] { h(); };
  if (auto* e = Item<QLineEdit>(id))
    Connect(id, 1, connect(e, &QLineEdit::textChanged, this, h));
  else if (auto* c = Item<QComboBox>(id))
    Connect(id, 1, connect(c, &QComboBox::currentIndexChanged, this, h));
  else if (auto* p = Item<QDateTimeEdit>(id))
    Connect(id, 1, connect(p, &QDateTimeEdit::dateTimeChanged, this, h));
  else if (auto* s = Item<QSpinBox>(id))
    Connect(id, 1, connect(s, &QSpinBox::valueChanged, this, h));
  else if (auto* b = Item<QAbstractButton>(id))
    Connect(id, 1, connect(b, &QAbstractButton::toggled, this, h));
}

void CDialog::OnEditDone(int id, std::function<void()> handler) {
  if (auto* e = Item<QLineEdit>(id))
    Connect(id, 2, connect(e, &QLineEdit::editingFinished, this, [h = std::move(handler)] { h(); }));
}

void CDialog::SetKeyFilter(int id, KeyFilter filter) {
  QWidget* w = id == 0 ? this : Item(id);
  if (!w) return;
  if (auto it = m_keyFilters.find(id); it != m_keyFilters.end()) delete it->second;
  m_keyFilters[id] = nullptr;
  if (!filter) return;
  auto* f = new KeyFilterObject(w, std::move(filter), id != 0);
  w->installEventFilter(f);
  m_keyFilters[id] = f;
}

int CDialog::StartTimer(int ms, std::function<void()> handler) {
  auto* t = new QTimer(this);
  connect(t, &QTimer::timeout, this, [h = std::move(handler)] { h(); });
  t->start(ms);
  const int id = m_nextTimer++;
  m_timers[id] = t;
  return id;
}

void CDialog::StopTimer(int timer) {
  auto it = m_timers.find(timer);
  if (it == m_timers.end()) return;
  it->second->stop();
  it->second->deleteLater();
  m_timers.erase(it);
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
