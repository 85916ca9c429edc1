#include "apps/DesktopTree.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <utility>

#include "apps/DesktopModel.h"
#include "com/DialogService.h"
#include "contract/ActionVocabulary.h"
#include "contract/LumetaRenderIntf.h"
#include "drawing/GPGraphics.h"

namespace {

constexpr int KWidths[dcCount] = {220, 80, 80, 80, 70, 64, 76, 90, 100, 56, 56, 90, 160};
// The widest figures a column shows whole, whatever the font: three-place durations and slack.
constexpr const char* KWidestText[dcCount] = {"", "", "", "", "888.875 days", "-88.88 days"};
constexpr int KIndent = 16;     // pixels per level
constexpr int KArrow = 14;      // the branch arrow's room
constexpr int KTitleRoom = 150;  // what a deep row keeps of its title column for arrow, symbol and text
// The symbol's nominal 6 units become a 15-pixel icon beside a title.
constexpr double KSymbolScale = 2.5;

// How far a row's content starts from its title cell's left: a level's step each, but a deep row
// keeps room for its arrow, symbol and some text inside the column.
int IndentOf(int ADepth, int AWidth) {
  return std::clamp(ADepth * KIndent, 0, std::max(0, AWidth - std::max(KTitleRoom, AWidth / 2)));
}

std::optional<double> NumberOf(const QString& AText) {
  bool ok = false;
  double value = QLocale().toDouble(AText, &ok);
  if (!ok) value = AText.toDouble(&ok);
  return ok ? std::optional(value) : std::nullopt;
}

// Draws the title cell's depth, arrow and symbol, edits the action columns with Qt's own
// controls, and hands what was typed to the model as the column's typed value.
class TDesktopDelegate : public QStyledItemDelegate {
 public:
  explicit TDesktopDelegate(TDesktopTree* ATree) : QStyledItemDelegate(ATree), FTree(ATree) {}

  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    QStyleOptionViewItem option = AOption;
    if (AIndex.column() == dcTitle) {
      APainter->save();
      APainter->setClipRect(option.rect, Qt::IntersectClip);
      initStyleOption(&option, AIndex);
      option.text.clear();
      FTree->style()->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, APainter, FTree);
      option = AOption;
      int left = option.rect.left() + IndentOf(AIndex.data(TDesktopItemModel::DepthRole).toInt(), option.rect.width());
      if (AIndex.data(TDesktopItemModel::HasChildrenRole).toBool()) {
        QStyleOptionViewItem arrow = option;
        arrow.rect = QRect(left, option.rect.top(), KArrow, option.rect.height());
        const bool open = AIndex.data(TDesktopItemModel::ExpandedRole).toBool();
        FTree->style()->drawPrimitive(open ? QStyle::PE_IndicatorArrowDown : QStyle::PE_IndicatorArrowRight, &arrow,
                                      APainter, FTree);
      }
      left += KArrow;
      left += DrawSymbol(APainter, AIndex, QRect(left, option.rect.top(), option.rect.right() - left, option.rect.height()));
      APainter->restore();
      option.rect.setLeft(left);
    }
    QStyledItemDelegate::paint(APainter, option, AIndex);
    // Grid lines, as in a sheet.
    APainter->save();
    APainter->setPen(AOption.palette.color(QPalette::Midlight));
    APainter->drawLine(AOption.rect.topRight(), AOption.rect.bottomRight());
    APainter->drawLine(AOption.rect.bottomLeft(), AOption.rect.bottomRight());
    APainter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    const QSize size = QStyledItemDelegate::sizeHint(AOption, AIndex);
    return QSize(size.width(), std::max(20, AOption.fontMetrics.height() + 8));
  }

  QWidget* createEditor(QWidget* AParent, const QStyleOptionViewItem&, const QModelIndex& AIndex) const override {
    const auto combo = [&](auto AItems, bool AEditable) {
      auto* box = new QComboBox(AParent);
      box->setEditable(AEditable);
      // The lists' "Unassigned" shows as an empty cell.
      box->addItem(QString());
      for (size_t i = 1; i < AItems.size(); ++i) box->addItem(QString::fromLatin1(AItems[i]));
      return box;
    };
    switch (AIndex.column()) {
      case dcComplete: {
        auto* spin = new QSpinBox(AParent);
        spin->setRange(0, 100);
        spin->setSingleStep(5);
        spin->setSuffix(QStringLiteral("%"));
        return spin;
      }
      case dcStatus: return combo(KStatusPickList, false);
      case dcPriority: return combo(KFixedPriorities, true);
      default: {
        auto* edit = new QLineEdit(AParent);
        if (AIndex.column() == dcStart || AIndex.column() == dcDue || AIndex.column() == dcCompleted)
          edit->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
        return edit;
      }
    }
  }

  void setEditorData(QWidget* AEditor, const QModelIndex& AIndex) const override {
    const QString text = AIndex.data().toString();
    if (auto* spin = qobject_cast<QSpinBox*>(AEditor))
      spin->setValue(AIndex.data(Qt::EditRole).toInt());
    else if (auto* box = qobject_cast<QComboBox*>(AEditor))
      box->setCurrentText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(AEditor))
      edit->setText(text);
  }

  void setModelData(QWidget* AEditor, QAbstractItemModel* AModel, const QModelIndex& AIndex) const override {
    QString text;
    if (auto* spin = qobject_cast<QSpinBox*>(AEditor))
      text = QString::number(spin->value()) + QLatin1Char('%');
    else if (auto* box = qobject_cast<QComboBox*>(AEditor))
      text = box->currentText();
    else if (auto* edit = qobject_cast<QLineEdit*>(AEditor))
      text = edit->text();
    CommitCellText(AModel, AIndex, text);
  }

 private:
  int DrawSymbol(QPainter* APainter, const QModelIndex& AIndex, const QRect& ARect) const {
    if (ARect.width() <= 0) return 0;
    TLumetaNode* node = FTree->ItemModel()->Node(AIndex.data(TDesktopItemModel::NodeIDRole).toLongLong());
    ComPtr<IProperty> property = node ? node->FindProperty(KActionPropertyName) : nullptr;
    ComPtr<IPropertySymbol> symbol = property ? QueryAs<IPropertySymbol>(property.get()) : nullptr;
    if (!symbol) return 0;
    try {
      symbol->UpdateRenderInfo();
      const int32_t flags = symbol->GetRenderInfo()->GetFlags();
      TGPGraphics graphics(*APainter, KSymbolScale);
      int32_t width = 0, height = 0;
      symbol->MeasureSymbol(&graphics, ARect.height(), width, height);
      if (width <= 0 || !(flags & DrawFlagSymbol)) return 0;
      const int top = ARect.top() + (ARect.height() - height) / 2;
      symbol->DrawSymbol(&graphics, flags, ARect.left() + 2, top, width, ARect.height());
      return width + 4;
    } catch (const std::exception&) {
      return 0;  // a record that cannot be read draws no symbol; its cells say why
    }
  }

  TDesktopTree* FTree;
};

// A cell's text as the typed value its column takes; empty with AError saying what was wrong
// when the text is none.
std::optional<QVariant> CellValue(int AColumn, const QString& AText, std::string& AError) {
  const QString text = AText.trimmed();
  switch (AColumn) {
    case dcStart:
    case dcDue:
    case dcCompleted: {
      if (text.isEmpty()) return QVariant(QDate());  // clears the date
      QDate date = QDate::fromString(text, Qt::ISODate);
      if (!date.isValid()) date = QLocale().toDate(text, QLocale::ShortFormat);
      if (date.isValid()) return QVariant(date);
      AError = (QLatin1Char('\'') + text + QStringLiteral("' is not a date (YYYY-MM-DD)")).toStdString();
      return std::nullopt;
    }
    case dcComplete: {
      QString number = text;
      number.remove(QLatin1Char('%'));
      const std::optional<double> value = number.trimmed().isEmpty() ? 0.0 : NumberOf(number.trimmed());
      if (value && *value >= 0 && *value <= 100) return QVariant(static_cast<int>(std::lround(*value)));
      AError = (QLatin1Char('\'') + text + QStringLiteral("' is not a percentage from 0 to 100")).toStdString();
      return std::nullopt;
    }
    case dcCost: {
      const std::optional<double> value = text.isEmpty() ? 0.0 : NumberOf(text);
      if (value) return QVariant(*value);
      AError = (QLatin1Char('\'') + text + QStringLiteral("' is not a number")).toStdString();
      return std::nullopt;
    }
    case dcDuration:
    case dcWork: {
      // A number and, if wanted, its measure: "3", "3 days", "2.5d", "8 hrs".
      static const QRegularExpression KQuantity(QStringLiteral("^([^\\sa-zA-Z]+)\\s*([a-zA-Z]*)$"));
      const QRegularExpressionMatch match = KQuantity.match(text);
      const QString unit = match.captured(2).toLower();
      const bool known = unit.isEmpty() || unit.startsWith(QLatin1Char('h')) || unit.startsWith(QLatin1Char('d'));
      TDesktopQuantity quantity;
      if (text.isEmpty()) return QVariant::fromValue(quantity);
      if (const std::optional<double> value = match.hasMatch() ? NumberOf(match.captured(1)) : std::nullopt;
          value && *value >= 0 && known) {
        quantity.Value = *value;
        if (!unit.isEmpty()) quantity.Measure = unit.startsWith(QLatin1Char('h')) ? amHours : amDays;
        return QVariant::fromValue(quantity);
      }
      AError = (QLatin1Char('\'') + text + QStringLiteral("' is not a number of hours or days (\"3 days\", \"4 hrs\")")).toStdString();
      return std::nullopt;
    }
    default: return QVariant(AColumn == dcStatus || AColumn == dcPriority ? text : AText);
  }
}

}  // namespace

void CommitCellText(QAbstractItemModel* AModel, const QModelIndex& AIndex, const QString& AText) {
  if (AText == AIndex.data().toString()) return;
  std::string error;
  const std::optional<QVariant> value = CellValue(AIndex.column(), AText, error);
  if (!value) return DialogService().ShowMessage(TMessageKind::Warning, error);
  AModel->setData(AIndex, *value, Qt::EditRole);
}

TDesktopTree::TDesktopTree(TDesktopItemModel* AModel, QWidget* AParent) : QTreeView(AParent), FModel(AModel) {
  setModel(AModel);
  setItemDelegate(new TDesktopDelegate(this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setIndentation(0);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  const QFontMetrics metrics(font());
  for (int column = 0; column < dcCount; ++column) {
    const char* widest = KWidestText[column];
    // The cell's margins on either side, as the style draws them.
    const int text = widest && *widest ? metrics.horizontalAdvance(QString::fromUtf8(widest)) + 12 : 0;
    setColumnWidth(column, std::max(KWidths[column], text));
  }
}

int64_t TDesktopTree::FocusedID() const { return FModel->IDOf(currentIndex()); }

int TDesktopTree::FocusedColumn() const { return currentIndex().isValid() ? currentIndex().column() : -1; }

void TDesktopTree::SetFocusedCell(int64_t AID, int AColumn) {
  const QModelIndex index = FModel->IndexOf(AID, AColumn);
  if (!index.isValid()) return;
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  scrollTo(index);
}

bool TDesktopTree::EditCell(int64_t AID, int AColumn) {
  const QModelIndex index = FModel->IndexOf(AID, AColumn);
  if (!index.isValid() || !(FModel->flags(index) & Qt::ItemIsEditable)) return false;
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  scrollTo(index);
  return edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

int64_t TDesktopTree::IDAtY(int AY) const { return FModel->IDOf(indexAt(QPoint(1, AY))); }

bool TDesktopTree::OnArrow(const QPoint& AAt) const {
  const QModelIndex index = indexAt(AAt);
  if (!index.isValid() || index.column() != dcTitle || !index.data(TDesktopItemModel::HasChildrenRole).toBool())
    return false;
  const QRect cell = visualRect(index);
  const int left = cell.left() + IndentOf(index.data(TDesktopItemModel::DepthRole).toInt(), cell.width());
  return AAt.x() >= left && AAt.x() < left + KArrow;
}

void TDesktopTree::keyPressEvent(QKeyEvent* AEvent) {
  const int key = AEvent->key();
  const bool plain = AEvent->modifiers() == Qt::NoModifier || AEvent->modifiers() == Qt::KeypadModifier;
  const int64_t id = FocusedID();
  if (!IsEditing() && plain && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    if (OnOpen) OnOpen();
    return AEvent->accept();
  }
  if (!IsEditing() && (key == Qt::Key_F4 || (key == Qt::Key_Down && AEvent->modifiers() == Qt::AltModifier))) {
    if (OnPick) OnPick();
    return AEvent->accept();
  }
  // In the title column the arrows open and close branches, as in any tree.
  if (!IsEditing() && plain && FocusedColumn() == dcTitle && (key == Qt::Key_Left || key == Qt::Key_Right)) {
    TLumetaNode* node = FModel->Node(id);
    if (node && key == Qt::Key_Right && FModel->IsCollapsed(id)) {
      FModel->SetExpanded(id, true);
    } else if (node && key == Qt::Key_Left && !node->Children().empty() && FModel->IsExpanded(id)) {
      FModel->SetExpanded(id, false);
    } else if (node && key == Qt::Key_Left && node->Parent()) {
      selectionModel()->setCurrentIndex(FModel->IndexOf(node->Parent()->ID(), dcTitle),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    return AEvent->accept();
  }
  QTreeView::keyPressEvent(AEvent);
}

void TDesktopTree::mouseDoubleClickEvent(QMouseEvent* AEvent) {
  const QPoint at = AEvent->position().toPoint();
  if (indexAt(at).isValid() && !OnArrow(at)) {
    if (OnOpen) OnOpen();
    return AEvent->accept();
  }
  QTreeView::mouseDoubleClickEvent(AEvent);
}

void TDesktopTree::mousePressEvent(QMouseEvent* AEvent) {
  FPressAt = AEvent->position().toPoint();
  if (AEvent->button() == Qt::LeftButton && OnArrow(FPressAt)) {
    const int64_t id = FModel->IDOf(indexAt(FPressAt));
    FModel->SetExpanded(id, !FModel->IsExpanded(id));
    return AEvent->accept();
  }
  FDragged = AEvent->button() == Qt::LeftButton ? FModel->IDOf(indexAt(FPressAt)) : -1;
  FDragging = false;
  QTreeView::mousePressEvent(AEvent);
}

void TDesktopTree::mouseMoveEvent(QMouseEvent* AEvent) {
  if (FDragged > 0 && (AEvent->buttons() & Qt::LeftButton)) {
    if (!FDragging &&
        (AEvent->position().toPoint() - FPressAt).manhattanLength() >= QApplication::startDragDistance()) {
      FDragging = true;
      viewport()->setCursor(Qt::DragMoveCursor);
    }
    if (FDragging) return AEvent->accept();  // the selection stays on the dragged node
  }
  QTreeView::mouseMoveEvent(AEvent);
}

void TDesktopTree::mouseReleaseEvent(QMouseEvent* AEvent) {
  if (FDragging) {
    FDragging = false;
    viewport()->unsetCursor();
    const int64_t target = FModel->IDOf(indexAt(AEvent->position().toPoint()));
    const int64_t dragged = std::exchange(FDragged, -1);
    if (target >= 0 && target != dragged && OnDrop) OnDrop(dragged, target);
    return AEvent->accept();
  }
  FDragged = -1;
  QTreeView::mouseReleaseEvent(AEvent);
}

bool TDesktopTree::viewportEvent(QEvent* AEvent) {
  if (AEvent->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(AEvent);
    const QString hint = FModel->ToolTip(FModel->IDOf(indexAt(help->pos())));
    if (hint.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), hint, viewport());
    return true;
  }
  if (AEvent->type() == QEvent::Paint) {
    const TDesktopItemModel::TRollUpHold hold = FModel->HoldRollUps();  // rows and symbols read summaries
    return QTreeView::viewportEvent(AEvent);
  }
  return QTreeView::viewportEvent(AEvent);
}
