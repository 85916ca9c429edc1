#include "ui/EditLinks.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStyleOptionSizeGrip>
#include <QStyledItemDelegate>

#include <algorithm>
#include <functional>
#include <numeric>

#include "ui/SpinEdit.h"
#include "ui/TypedKeys.h"
#include "ui/UiMetrics.h"

// Puts a link between its control and the control's own handling of events.
class TEditLinkHook : public QObject {
 public:
  explicit TEditLinkHook(TCustomEditLink& ALink) : FLink(ALink) {}
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
    return AWatched == FLink.FEdit.data() && FLink.EditWndProc(AEvent);
  }

 private:
  TCustomEditLink& FLink;
};

namespace {

// Clears a flag when the scope ends, whichever way it ends.
struct TFlagScope {
  explicit TFlagScope(bool& AFlag) : Flag(AFlag) { Flag = true; }
  ~TFlagScope() { Flag = false; }
  bool& Flag;
};

bool IsEnterOrEscape(const QKeyEvent& AEvent) {
  return AEvent.key() == Qt::Key_Return || AEvent.key() == Qt::Key_Enter || AEvent.key() == Qt::Key_Escape;
}

}  // namespace

TCustomEditLink::TCustomEditLink(IUnknown* AOwner) : TImplements(AOwner), FHook(new TEditLinkHook(*this)) {}

TCustomEditLink::~TCustomEditLink() {
  FreeEdit();
  delete FHook;
}

void TCustomEditLink::FreeEdit() {
  if (!FEdit) return;
  FEdit->removeEventFilter(FHook);
  // Later: the link may end while the control is still handling the key that ended it.
  FEdit->hide();
  FEdit->deleteLater();
  FEdit.clear();
}

QString TCustomEditLink::GetName() const {
  QString name = QString::fromLatin1(ClassName());
  if (name.startsWith(QLatin1Char('T'))) name.remove(0, 1);
  if (name.endsWith(QLatin1String("EditLink"))) name.chop(8);
  return name;
}

bool TCustomEditLink::PrepareEdit(TVirtualTreeGrid* ATree, TVirtualNode* ANode, int AColumn) {
  if (FStopping) return false;
  FTree = ATree;
  FNode = ANode;
  FColumn = AColumn;
  FreeEdit();
  FEdit = CreateEditControl(ATree->EditorParent());
  if (!FEdit) return false;
  FEdit->hide();
  // The cell's own drawing must not show through a control that paints no background.
  FEdit->setAutoFillBackground(true);
  FEdit->installEventFilter(FHook);
  SetBounds(ATree->GetDisplayRect(ANode, AColumn, !ATree->GridExtensions()));
  PrepareEditControl();
  SetEditText(ATree->Text(ANode, AColumn));
  return true;
}

bool TCustomEditLink::BeginEdit() {
  if (FStopping || !FEdit) return false;
  FEdit->show();
  FEdit->setFocus();
  FOldEditText = GetEditText();
  return true;
}

bool TCustomEditLink::EndEdit() {
  if (FStopping) return false;
  ComPtr<IVTEditLink> keep(this);  // the grid lets go of the link while it ends
  TFlagScope stopping(FStopping);
  if (IsModified()) FTree->DoNewText(FNode, FColumn, GetEditText());
  FTree->DoEndEdit();
  DoneEdit();
  return true;
}

bool TCustomEditLink::CancelEdit() {
  if (FStopping) return false;
  ComPtr<IVTEditLink> keep(this);
  TFlagScope stopping(FStopping);
  if (FEdit) FEdit->hide();
  FTree->DoCancelEdit();
  DoneEdit();
  return true;
}

QRect TCustomEditLink::GetBounds() { return FEdit ? FEdit->geometry() : QRect(); }

void TCustomEditLink::SetBounds(const QRect& ARect) {
  if (!FEdit) return;
  QRect bounds = ARect;
  if (FTree && !FTree->GridExtensions()) {
    bounds.setLeft(FTree->GetDisplayRect(FNode, FColumn, true).left());
    bounds.setRight(FTree->GetDisplayRect(FNode, FColumn, false).right());
  }
  FEdit->setGeometry(bounds);
}

void TCustomEditLink::ProcessMessage(QEvent* AEvent) {
  if (FEdit) QCoreApplication::sendEvent(FEdit, AEvent);
}

bool TCustomEditLink::EditWndProc(QEvent* AEvent) {
  switch (AEvent->type()) {
    case QEvent::ShortcutOverride:
      // Enter and Escape are the editor's: the dialog's default and cancel buttons must not
      // take them.
      if (IsEnterOrEscape(*static_cast<QKeyEvent*>(AEvent))) AEvent->accept();
      return false;
    case QEvent::KeyPress:
      return DoKeyDown(static_cast<QKeyEvent*>(AEvent));
    case QEvent::FocusOut: {
      const auto reason = static_cast<QFocusEvent*>(AEvent)->reason();
      // A popup of the control (a combo's list, a context menu) or another window is no leaving.
      if (!FStopping && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && FTree)
        FTree->EndEditNode();
      return false;
    }
    default:
      return false;
  }
}

bool TCustomEditLink::DoKeyDown(QKeyEvent* AEvent) {
  if (AEvent->modifiers() & ~Qt::KeypadModifier) return false;
  switch (AEvent->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (FTree) FTree->EndEditNode();
      return true;
    case Qt::Key_Escape:
      if (FTree) FTree->CancelEditNode();
      return true;
    default:
      return false;
  }
}

bool TCustomEditLink::IsModified() { return GetEditText() != FOldEditText; }

void TCustomEditLink::DoneEdit() {
  if (!FEdit) return;
  FEdit->hide();
  FEdit->removeEventFilter(FHook);
}

// ---- single-line edit

TEditEditLink::TEditEditLink(bool AReadOnly, IUnknown* AOwner) : TCustomEditLink(AOwner), FReadOnly(AReadOnly) {}

QWidget* TEditEditLink::CreateEditControl(QWidget* AParent) { return new QLineEdit(AParent); }

QString TEditEditLink::GetEditText() { return static_cast<QLineEdit*>(FEdit.data())->text(); }

void TEditEditLink::SetEditText(const QString& AText) {
  auto* edit = static_cast<QLineEdit*>(FEdit.data());
  edit->setText(AText);
  edit->selectAll();
}

void TEditEditLink::PrepareEditControl() { static_cast<QLineEdit*>(FEdit.data())->setReadOnly(FReadOnly); }

// ---- memo

namespace {

// The grip in a memo's corner: dragging it resizes the memo (its parent), not the window.
class TSizeGrip : public QWidget {
 public:
  TSizeGrip(QWidget* AMemo, std::function<void(QSize)> AResized)
      : QWidget(AMemo), FResized(std::move(AResized)) {
    setCursor(Qt::SizeFDiagCursor);
    resize(UiMetrics::Px(QSize(13, 13), this));
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QStyleOptionSizeGrip option;
    option.initFrom(this);
    option.corner = Qt::BottomRightCorner;
    style()->drawControl(QStyle::CE_SizeGrip, &option, &painter, this);
  }
  void mousePressEvent(QMouseEvent* AEvent) override {
    if (AEvent->button() != Qt::LeftButton) return;
    FCaptured = true;
    FDragStartPos = AEvent->globalPosition().toPoint();
    FStartSize = parentWidget()->size();
  }
  void mouseMoveEvent(QMouseEvent* AEvent) override {
    if (!FCaptured) return;
    const QPoint delta = AEvent->globalPosition().toPoint() - FDragStartPos;
    const QSize size = (FStartSize + QSize(delta.x(), delta.y())).expandedTo(2 * this->size());
    parentWidget()->resize(size);
    FResized(size);
  }
  void mouseReleaseEvent(QMouseEvent*) override { FCaptured = false; }

 private:
  std::function<void(QSize)> FResized;
  bool FCaptured = false;
  QPoint FDragStartPos;
  QSize FStartSize;
};

class TGripMemo : public QPlainTextEdit {
 public:
  TGripMemo(QWidget* AParent, std::function<void(QSize)> AResized)
      : QPlainTextEdit(AParent), FGrip(new TSizeGrip(this, std::move(AResized))) {
    setTabChangesFocus(true);
  }

 protected:
  void resizeEvent(QResizeEvent* AEvent) override {
    QPlainTextEdit::resizeEvent(AEvent);
    FGrip->move(width() - FGrip->width(), height() - FGrip->height());
    FGrip->raise();
  }

 private:
  TSizeGrip* FGrip;
};

}  // namespace

TMemoEditLink::TMemoEditLink(bool AReadOnly, IUnknown* AOwner)
    : TCustomEditLink(AOwner), FReadOnly(AReadOnly), FExtent(0, UiMetrics::Px(48)) {}

QWidget* TMemoEditLink::CreateEditControl(QWidget* AParent) {
  return new TGripMemo(AParent, [this](QSize ASize) { FExtent = ASize - FCellSize; });
}

QString TMemoEditLink::GetEditText() { return static_cast<QPlainTextEdit*>(FEdit.data())->toPlainText(); }

void TMemoEditLink::SetEditText(const QString& AText) {
  auto* memo = static_cast<QPlainTextEdit*>(FEdit.data());
  memo->setPlainText(AText);
  memo->selectAll();
}

void TMemoEditLink::PrepareEditControl() { static_cast<QPlainTextEdit*>(FEdit.data())->setReadOnly(FReadOnly); }

void TMemoEditLink::SetBounds(const QRect& ARect) {
  TCustomEditLink::SetBounds(ARect);
  if (!FEdit) return;
  FCellSize = FEdit->size();
  FEdit->resize(FCellSize + FExtent);
}

bool TMemoEditLink::DoKeyDown(QKeyEvent* AEvent) {
  const bool enter = AEvent->key() == Qt::Key_Return || AEvent->key() == Qt::Key_Enter;
  if (enter && (AEvent->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) {
    static_cast<QPlainTextEdit*>(FEdit.data())->insertPlainText(QStringLiteral("\n"));
    return true;
  }
  return TCustomEditLink::DoKeyDown(AEvent);
}

// ---- spin edit

TSpinEditLink::TSpinEditLink(bool AEditorEnabled, int AMaxValue, int AMinValue, int AIncrement, IUnknown* AOwner)
    : TCustomEditLink(AOwner),
      FEditorEnabled(AEditorEnabled),
      FIncrement(AIncrement),
      FMinValue(AMinValue),
      FMaxValue(AMaxValue) {}

// Enter and Escape never reach the spin edit's own handling: the link takes them first.
QWidget* TSpinEditLink::CreateEditControl(QWidget* AParent) { return new ThvSpinEdit(AParent); }

QString TSpinEditLink::GetEditText() { return static_cast<ThvSpinEdit*>(FEdit.data())->Text(); }

void TSpinEditLink::SetEditText(const QString& AText) { static_cast<ThvSpinEdit*>(FEdit.data())->SetText(AText); }

void TSpinEditLink::PrepareEditControl() {
  auto* spin = static_cast<ThvSpinEdit*>(FEdit.data());
  spin->setReadOnly(FReadOnly);
  spin->SetEditorEnabled(FEditorEnabled);
  spin->SetIncrement(FIncrement);
  spin->SetMinValue(FMinValue);
  spin->SetMaxValue(FMaxValue);
}

// ---- combo box

namespace {

// Hands item drawing and measuring to the link's owner.
class TOwnerDrawDelegate : public QStyledItemDelegate {
 public:
  TOwnerDrawDelegate(TComboEditLink& ALink, IEditLinkOwnerDraw& AOwner, QObject* AParent)
      : QStyledItemDelegate(AParent), FLink(ALink), FOwner(AOwner) {}
  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    FOwner.DrawItem(&FLink, APainter, AOption, AIndex.row());
  }
  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    QSize size = QStyledItemDelegate::sizeHint(AOption, AIndex);
    int height = size.height();
    FOwner.MeasureItem(&FLink, AIndex.row(), height);
    size.setHeight(height);
    return size;
  }

 private:
  TComboEditLink& FLink;
  IEditLinkOwnerDraw& FOwner;
};

constexpr int PickIndexRole = Qt::UserRole;

}  // namespace

TComboEditLink::TComboEditLink(bool ASorted, TComboStyle AStyle, IUnknown* AOwner)
    : TCustomEditLink(AOwner), FStyle(AStyle), FSorted(ASorted) {}

TComboEditLink::TComboEditLink(const QString& ACommaText, bool ASorted, TComboStyle AStyle, IUnknown* AOwner)
    : TComboEditLink(ACommaText.isEmpty() ? QStringList() : ACommaText.split(QLatin1Char(',')), ASorted, AStyle,
                     AOwner) {}

TComboEditLink::TComboEditLink(const QStringList& APickList, bool ASorted, TComboStyle AStyle, IUnknown* AOwner)
    : TCustomEditLink(AOwner), FStyle(AStyle), FPickList(APickList), FAutoCompleteMode(TAutoCompleteMode::acComplete), FSorted(ASorted) {}

QWidget* TComboEditLink::CreateEditControl(QWidget* AParent) { return new QComboBox(AParent); }

QString TComboEditLink::GetEditText() { return static_cast<QComboBox*>(FEdit.data())->currentText(); }

void TComboEditLink::SetEditText(const QString& AText) {
  auto* combo = static_cast<QComboBox*>(FEdit.data());
  if (!Editable()) {
    combo->setCurrentIndex(combo->findText(AText, Qt::MatchFixedString));
  } else {
    combo->setEditText(AText);
    combo->lineEdit()->selectAll();
    FLimitText = AText;
  }
}

void TComboEditLink::FillItems(const QList<int>& APickIndexes) {
  auto* combo = static_cast<QComboBox*>(FEdit.data());
  combo->clear();
  for (int index : APickIndexes) combo->addItem(FPickList[index], index);
}

void TComboEditLink::PrepareEditControl() {
  auto* combo = static_cast<QComboBox*>(FEdit.data());
  combo->setEditable(Editable());
  if (Editable()) {
    // Completion is the link's own (FAutoCompleteMode), not the toolkit's.
    combo->setCompleter(nullptr);
    combo->setInsertPolicy(QComboBox::NoInsert);
    if (auto owner = QueryAs<IEditLinkOwnerDraw>(GetController()))
      combo->view()->setItemDelegate(new TOwnerDrawDelegate(*this, *owner, combo));
  }
  QList<int> order(FPickList.size());
  std::iota(order.begin(), order.end(), 0);
  if (FSorted)
    std::stable_sort(order.begin(), order.end(), [this](int A, int B) {
      return FPickList[A].compare(FPickList[B], Qt::CaseInsensitive) < 0;
    });
  FillItems(order);
  combo->setCurrentIndex(-1);
  if (Editable())
    QObject::connect(combo, &QComboBox::editTextChanged, combo, [this] { Changed(); });
  else
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [this] { Changed(); });
}

void TComboEditLink::Changed() {
  // Changes while the control is being prepared are no edits.
  if (FLimiting || FStopping || !FEdit || !FEdit->isVisible()) return;
  if (Editable() && FAutoCompleteMode == TAutoCompleteMode::acLimit) LimitItems();
  if (!Editable() && FCommitOnChange && FTree) {
    // Handed over now, so ending the edit does not hand it over again.
    FOldEditText = GetEditText();
    FTree->DoNewText(FNode, FColumn, FOldEditText);
  }
}

void TComboEditLink::LimitItems() {
  auto* combo = static_cast<QComboBox*>(FEdit.data());
  QLineEdit* line = combo->lineEdit();
  const QString text = line->text();
  const auto pickIndexes = [&](const QString& APrefix) {
    QList<int> indexes;
    for (int i = 0; i < FPickList.size(); ++i)
      if (FPickList[i].startsWith(APrefix, Qt::CaseInsensitive)) indexes.push_back(i);
    return indexes;
  };
  TFlagScope limiting(FLimiting);
  QList<int> wanted = pickIndexes(text);
  int cursor = line->cursorPosition();
  int selectionStart = line->selectionStart();
  int selectionLength = line->selectedText().size();
  if (wanted.isEmpty()) {
    // The text must stay the beginning of some item: the change is refused.
    Beep();
    const int refused = text.size() - FLimitText.size();
    line->setText(FLimitText);
    cursor = std::clamp(cursor - std::max(refused, 0), 0, int(FLimitText.size()));
    selectionStart = -1;
    wanted = pickIndexes(FLimitText);
  } else {
    FLimitText = text;
  }
  if (FSorted)
    std::stable_sort(wanted.begin(), wanted.end(), [this](int A, int B) {
      return FPickList[A].compare(FPickList[B], Qt::CaseInsensitive) < 0;
    });
  QList<int> shown;
  for (int i = 0; i < combo->count(); ++i) shown.push_back(combo->itemData(i, PickIndexRole).toInt());
  const QString kept = line->text();
  if (shown != wanted) {
    FillItems(wanted);
    combo->setCurrentIndex(-1);
    line->setText(kept);
  }
  if (selectionStart >= 0 && selectionLength > 0)
    line->setSelection(selectionStart, selectionLength);
  else
    line->setCursorPosition(cursor);
}

bool TComboEditLink::DoKeyDown(QKeyEvent* AEvent) {
  auto* combo = static_cast<QComboBox*>(FEdit.data());
  // While the list is open, Enter and Escape are the list's.
  if (IsEnterOrEscape(*AEvent) && FStyle != csSimple && combo->view()->isVisible()) return false;
  if (Editable() && FAutoCompleteMode == TAutoCompleteMode::acComplete) {
    const std::optional<QChar> typed = TypedChar(*AEvent);
    if (typed && typed->unicode() >= 32 && typed->unicode() <= 255) {
      QLineEdit* line = combo->lineEdit();
      const int caret = line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
      const QString prefix = line->text().left(caret) + *typed;
      for (const QString& item : FPickList)
        if (item.startsWith(prefix, Qt::CaseInsensitive)) {
          line->setText(item);
          line->setSelection(item.size(), prefix.size() - item.size());
          return true;
        }
    }
  }
  return TCustomEditLink::DoKeyDown(AEvent);
}

void TComboEditLink::SetBounds(const QRect& ARect) {
  TCustomEditLink::SetBounds(ARect);
  if (!FEdit || !FTree) return;
  const QRect cell = FTree->GetDisplayRect(FNode, FColumn, false);
  QRect bounds = FEdit->geometry();
  bounds.setTop(cell.top());
  bounds.setHeight(FStyle == csSimple ? UiMetrics::Px(104, FEdit) : cell.height());
  FEdit->setGeometry(bounds);
}

int TComboEditLink::SelectedIndex() const {
  const auto* combo = static_cast<const QComboBox*>(FEdit.data());
  if (!combo) return -1;
  const int current = combo->currentIndex();
  if (current >= 0 && combo->itemText(current) == combo->currentText()) return combo->itemData(current, PickIndexRole).toInt();
  const int found = combo->findText(combo->currentText(), Qt::MatchFixedString);
  return found >= 0 ? combo->itemData(found, PickIndexRole).toInt() : -1;
}

// ---- date and time

TDateEditLink::TDateEditLink(TKind AKind, QChar ADateSeparator, const QString& ADateFormat, IUnknown* AOwner)
    : TCustomEditLink(AOwner), FDateFormat(ADateFormat), FDateSeparator(ADateSeparator), FKind(AKind) {}

QString TDateEditLink::EffectiveFormat() const {
  if (FKind != dkDate) return FDateFormat.isEmpty() ? QLocale().timeFormat(QLocale::ShortFormat) : FDateFormat;
  const QString system = QLocale().dateFormat(QLocale::ShortFormat);
  QString format = FDateFormat.isEmpty() ? system : FDateFormat;
  QChar separator = FDateSeparator;
  if (separator.isNull()) {
    // The system's separator is what stands between its first two fields.
    const auto at = std::find_if(system.begin(), system.end(), [](QChar AChar) { return !AChar.isLetter(); });
    separator = at != system.end() ? *at : QLatin1Char('/');
  }
  // A "/" stands for the separator; in the system's own form, so do its separators when one is set.
  const bool replaceSystem = FDateFormat.isEmpty() && !FDateSeparator.isNull();
  bool quoted = false;
  for (QChar& c : format) {
    if (c == QLatin1Char('\'')) quoted = !quoted;
    const bool isSeparator = c == QLatin1Char('/') || (replaceSystem && !c.isLetter() && !c.isSpace() && c != QLatin1Char('\''));
    if (!quoted && isSeparator) c = separator;
  }
  return format;
}

QWidget* TDateEditLink::CreateEditControl(QWidget* AParent) { return new QDateTimeEdit(AParent); }

void TDateEditLink::PrepareEditControl() {
  auto* picker = static_cast<QDateTimeEdit*>(FEdit.data());
  picker->setDisplayFormat(EffectiveFormat());
  picker->setCalendarPopup(FKind == dkDate);
  if (FKind == dkDate) picker->setDate(QDate::currentDate());
}

QString TDateEditLink::GetEditText() {
  const auto* picker = static_cast<QDateTimeEdit*>(FEdit.data());
  return FKind == dkDate ? picker->date().toString(EffectiveFormat()) : picker->time().toString(EffectiveFormat());
}

void TDateEditLink::SetEditText(const QString& AText) {
  if (AText.isEmpty()) return;
  auto* picker = static_cast<QDateTimeEdit*>(FEdit.data());
  const QString format = EffectiveFormat();
  // Days, months and times may be written with one digit where the format has two.
  QString loose = format;
  loose.replace(QRegularExpression(QStringLiteral("(?<![dMHhms])([dMHhms])\\1(?!\\1)")), QStringLiteral("\\1"));
  if (FKind == dkDate) {
    QDate date = QDate::fromString(AText, format);
    if (!date.isValid()) date = QDate::fromString(AText, loose);
    if (date.isValid()) picker->setDate(date);
  } else {
    QTime time = QTime::fromString(AText, format);
    if (!time.isValid()) time = QTime::fromString(AText, loose);
    if (time.isValid()) picker->setTime(time);
  }
}

// ---- check box

TCheckEditLink::TCheckEditLink(IUnknown* AOwner) : TCustomEditLink(AOwner) {}

QWidget* TCheckEditLink::CreateEditControl(QWidget* AParent) { return new QCheckBox(AParent); }

void TCheckEditLink::PrepareEditControl() { static_cast<QCheckBox*>(FEdit.data())->setTristate(FAllowGrayed); }

QString TCheckEditLink::GetEditText() {
  switch (static_cast<QCheckBox*>(FEdit.data())->checkState()) {
    case Qt::Checked:
      return FValueTrue;
    case Qt::PartiallyChecked:
      return FValueGrayed;
    default:
      return FValueFalse;
  }
}

void TCheckEditLink::SetEditText(const QString& AText) {
  Qt::CheckState state = Qt::Unchecked;
  if (AText.compare(FValueTrue, Qt::CaseInsensitive) == 0)
    state = Qt::Checked;
  else if (AText.compare(FValueFalse, Qt::CaseInsensitive) != 0 && FAllowGrayed)
    state = Qt::PartiallyChecked;
  static_cast<QCheckBox*>(FEdit.data())->setCheckState(state);
}
