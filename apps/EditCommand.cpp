#include "apps/EditCommand.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <optional>

#include "apps/EntryCommands.h"
#include "apps/WidgetApplication.h"
#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "contract/ActionVocabulary.h"
#include "contract/PlugInUIIntf.h"

namespace {

constexpr int32_t KEditActionEntry = 7;
constexpr int KPagesGeneral = 0;
constexpr int KPagesAdvanced = 1;
// How often the driver looks for the dialog before it gives up: each look waits for the event loop.
constexpr int KLooksForDialog = 50;

enum class TControlKind { Box, Date, Number, Spin, Text, Pick };

// A field of the dialog: its control's object name, and for dates the box beside it.
struct TEditField {
  const char* Name;
  const char* Control;
  TControlKind Kind;
  const char* Box = nullptr;
  int Page = KPagesGeneral;
};

constexpr TEditField KEditFields[] = {
    {KActionFieldNames[acIsAction], "chIsAction", TControlKind::Box},
    {KActionFieldNames[acIsMilestone], "chkMilestone", TControlKind::Box},
    {"Task Name", "edtTaskName", TControlKind::Text},
    {KActionFieldNames[acStartDate], "dtpStartDate", TControlKind::Date, "chStartDate"},
    {KActionFieldNames[acDueDate], "dtpDueDate", TControlKind::Date, "chDueDate"},
    {KActionFieldNames[acCompletedDate], "dtpCompletedDate", TControlKind::Date, "chCompletedDate"},
    {KActionFieldNames[acPriority], "cbPriority", TControlKind::Text},
    {KActionFieldNames[acStatus], "cbStatus", TControlKind::Pick},
    {KActionFieldNames[acComplete], "seComplete", TControlKind::Spin},
    {KActionFieldNames[acCost], "editCost", TControlKind::Number},
    {KActionFieldNames[acQuantity], "editQuantity", TControlKind::Number},
    {KActionFieldNames[acWork], "editWork", TControlKind::Number},
    {KActionFieldNames[acWorkMeasure], "cbWork", TControlKind::Pick},
    {KActionFieldNames[acDuration], "edtDuration", TControlKind::Number},
    {KActionFieldNames[acDurationMeasure], "cbDuration", TControlKind::Pick},
    {KActionFieldNames[acConstraintType], "cboConstraintType", TControlKind::Pick, nullptr, KPagesAdvanced},
    {KActionFieldNames[acConstraintDate], "dtConstraintDate", TControlKind::Date, nullptr, KPagesAdvanced},
};

bool SameText(std::string_view A, std::string_view B) {
  return std::ranges::equal(A, B, [](char X, char Y) { return std::tolower(X) == std::tolower(Y); });
}

const TEditField* FindEditField(const std::string& AName) {
  for (const TEditField& field : KEditFields)
    if (SameText(AName, field.Name)) return &field;
  return nullptr;
}

std::string FieldNameList() {
  std::string names;
  for (const TEditField& field : KEditFields) names += (names.empty() ? "" : ", ") + std::string(field.Name);
  return names;
}

std::optional<bool> FlagOf(const std::string& AText) {
  for (const char* yes : {"true", "yes", "on", "1"})
    if (SameText(AText, yes)) return true;
  for (const char* no : {"false", "no", "off", "0"})
    if (SameText(AText, no)) return false;
  return std::nullopt;
}

bool IsNone(const std::string& AText) { return SameText(AText, "none"); }

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM", as the pickers show dates.
bool IsDateText(const std::string& AText) {
  const QString text = QString::fromStdString(AText);
  return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm")).isValid() ||
         QDate::fromString(text, QStringLiteral("yyyy-MM-dd")).isValid();
}

void CheckValue(const TEditField& AField, const std::string& AValue) {
  const std::string where = "--set " + std::string(AField.Name) + ": ";
  switch (AField.Kind) {
    case TControlKind::Box:
      if (!FlagOf(AValue)) throw ELumetaError(where + "'" + AValue + "' is no flag (true or false)");
      break;
    case TControlKind::Date:
      if (!IsDateText(AValue) && !(AField.Box && IsNone(AValue)))
        throw ELumetaError(where + "'" + AValue + "' is no date (YYYY-MM-DD or \"YYYY-MM-DD HH:MM\"" +
                           (AField.Box ? ", or none)" : ")"));
      break;
    case TControlKind::Number:
    case TControlKind::Spin:
      if (!AValue.empty() && !ParseFloat(AValue))
        throw ELumetaError(where + "'" + AValue + "' is no number");
      break;
    case TControlKind::Text:
    case TControlKind::Pick:
      break;
  }
}

// ---- typing as a person types

// Clicks into the control, selects what it shows and types the text over it.
void TypeOver(QWidget* AWidget, const QString& AText) {
  if (auto* picker = qobject_cast<QDateTimeEdit*>(AWidget)) return TypeIntoPicker(picker, AText);
  AWidget->setFocus(Qt::MouseFocusReason);
  SendKey(AWidget, Qt::Key_A, Qt::ControlModifier);
  if (AText.isEmpty())
    SendKey(AWidget, Qt::Key_Delete);
  else
    TypeText(AWidget, AText);
}

// Tab to the next control: what the user typed takes effect as the control is left.
void Leave(QWidget* AWidget) { SendKey(AWidget, Qt::Key_Tab); }

void Click(QAbstractButton* AButton) {
  AButton->setFocus(Qt::MouseFocusReason);
  SendKey(AButton, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
}

// Picks a drop-down list's item from the keyboard: its first word typed finds the first item that
// starts so (a space would open the list), the arrow key goes on to the item itself.
bool PickItem(QComboBox* ACombo, int AIndex) {
  const QString text = ACombo->itemText(AIndex);
  TypeText(ACombo, text.left(text.indexOf(QLatin1Char(' '))));
  for (int i = 0; i < ACombo->count() && ACombo->currentIndex() < AIndex; ++i) SendKey(ACombo, Qt::Key_Down);
  return ACombo->currentIndex() == AIndex;
}

// ---- the driver

class TEditDriver {
 public:
  TEditDriver(const TEditRequest& ARequest) : FRequest(ARequest) {}

  // Works the dialog once it is up; the timer looks again while it is not.
  void Attach(QTimer& ATimer) {
    QObject::connect(&ATimer, &QTimer::timeout, [this, &ATimer] {
      QWidget* dialog = FindDialog();
      if (!dialog) {
        if (++FLooks < KLooksForDialog) ATimer.start();
        return;
      }
      FOpened = true;
      Work(dialog);
    });
  }
  bool Opened() const { return FOpened; }
  const std::string& Error() const { return FError; }

 private:
  static QWidget* FindDialog() {
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->objectName() == "frmEditAction")
      return modal;
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->isVisible() && widget->objectName() == "frmEditAction") return widget;
    return nullptr;
  }

  template <class T>
  T* Control(QWidget* ADialog, const char* AName) {
    T* control = ADialog->findChild<T*>(QString::fromLatin1(AName));
    if (!control) throw ELumetaError(std::string("the dialog has no control ") + AName);
    return control;
  }

  void Work(QWidget* ADialog) {
    ADialog->activateWindow();
    try {
      for (const TEditRequest::TFieldValue& value : FRequest.Fields) SetField(ADialog, value);
      for (const TEditRequest::TPredecessor& predecessor : FRequest.Predecessors) EditGrid(ADialog, predecessor);
      if (!FRequest.Page.empty()) ShowPage(ADialog, FRequest.Page == "advanced" ? KPagesAdvanced : KPagesGeneral);
      if (!FRequest.Screenshot.empty() && !ADialog->grab().save(QString::fromStdString(FRequest.Screenshot), "PNG"))
        throw ELumetaError("cannot write the screenshot " + FRequest.Screenshot);
    } catch (const ELumetaError& error) {
      FError = error.what();
      Click(Control<QAbstractButton>(ADialog, "btnCancel"));
      return;
    }
    Click(Control<QAbstractButton>(ADialog, FRequest.Ok ? "btnOK" : "btnCancel"));
  }

  void ShowPage(QWidget* ADialog, int APage) {
    auto* pages = Control<QTabWidget>(ADialog, "pcMain");
    if (APage == KPagesAdvanced && !pages->isTabVisible(APage))
      throw ELumetaError("the Advanced page shows only while the map schedules tasks");
    pages->setCurrentIndex(APage);
  }

  void SetField(QWidget* ADialog, const TEditRequest::TFieldValue& AValue) {
    const TEditField& field = *FindEditField(AValue.Field);
    if (field.Page != KPagesGeneral) ShowPage(ADialog, field.Page);
    const QString value = QString::fromStdString(AValue.Value);
    QWidget* control = Control<QWidget>(ADialog, field.Control);
    if (!control->isVisible())
      throw ELumetaError(std::string(field.Name) + " shows only while the map schedules tasks");
    if (!control->isEnabled()) {
      const QString why = (field.Box ? Control<QWidget>(ADialog, field.Box) : control)->toolTip();
      throw ELumetaError(why.isEmpty() ? std::string(field.Name) + " cannot be edited here" : why.toStdString());
    }
    switch (field.Kind) {
      case TControlKind::Box: {
        auto* box = static_cast<QCheckBox*>(control);
        const Qt::CheckState wanted = *FlagOf(AValue.Value) ? Qt::Checked : Qt::Unchecked;
        for (int i = 0; i < 3 && box->checkState() != wanted; ++i) Click(box);
        break;
      }
      case TControlKind::Date: {
        auto* picker = static_cast<QDateTimeEdit*>(control);
        if (IsNone(AValue.Value)) {
          auto* box = Control<QCheckBox>(ADialog, field.Box);
          if (box->isChecked()) Click(box);
          break;
        }
        // A date alone is typed into the date's sections only: the time is the picker's to keep
        // or, where it showed no date, the working day's.
        TypeOver(picker, value);
        Leave(picker);
        break;
      }
      case TControlKind::Number:
      case TControlKind::Spin:
      case TControlKind::Text:
        TypeOver(control, value);
        Leave(control);
        break;
      case TControlKind::Pick: {
        auto* combo = static_cast<QComboBox*>(control);
        const int index = combo->findText(value, Qt::MatchFixedString);
        if (index < 0) throw ELumetaError(std::string(field.Name) + " offers no item '" + AValue.Value + "'");
        combo->setFocus(Qt::MouseFocusReason);
        if (!PickItem(combo, index)) throw ELumetaError(std::string("cannot pick '") + AValue.Value + "'");
        Leave(combo);
        break;
      }
    }
  }

  // The row of the grid showing the task, or the empty row after the links when AID is empty.
  static int RowOf(QAbstractItemModel* AModel, const QString& AID) {
    for (int row = 0; row < AModel->rowCount(); ++row) {
      const QString shown = AModel->index(row, 0).data().toString();
      if (shown == AID) return row;
      if (shown.isEmpty()) return AID.isEmpty() ? row : -1;
    }
    return -1;
  }

  // Opens the cell's in-place editor and answers it.
  template <class T>
  T* EditCell(QTreeView* AGrid, int ARow, int AColumn) {
    AGrid->setFocus(Qt::MouseFocusReason);
    AGrid->setCurrentIndex(AGrid->model()->index(ARow, AColumn));
    SendKey(AGrid, Qt::Key_F2);
    for (T* editor : AGrid->viewport()->findChildren<T*>())
      if (editor->isVisible()) return editor;
    throw ELumetaError("the predecessor grid does not edit row " + std::to_string(ARow + 1));
  }

  void EditGrid(QWidget* ADialog, const TEditRequest::TPredecessor& APredecessor) {
    ShowPage(ADialog, KPagesAdvanced);
    auto* grid = Control<QTreeView>(ADialog, "vstPreds");
    const QString id = QString::fromStdString(APredecessor.TaskID);
    if (APredecessor.Remove) {
      const int row = RowOf(grid->model(), id);
      if (row < 0) throw ELumetaError("task " + APredecessor.TaskID + " is no predecessor in the grid");
      auto* editor = EditCell<QLineEdit>(grid, row, 0);
      TypeOver(editor, QString());
      SendKey(editor, Qt::Key_Return);
      return;
    }
    const int row = RowOf(grid->model(), QString());
    if (row < 0) throw ELumetaError("the predecessor grid has no empty row left");
    auto* editor = EditCell<QLineEdit>(grid, row, 0);
    TypeOver(editor, id);
    SendKey(editor, Qt::Key_Return);
    // A refused link leaves the row empty: its type has nothing to go to.
    if (APredecessor.Type.empty() || grid->model()->index(row, 0).data().toString() != id) return;
    auto* combo = EditCell<QComboBox>(grid, row, 2);
    const int index = combo->findText("(" + QString::fromStdString(APredecessor.Type) + ")", Qt::MatchEndsWith);
    if (!PickItem(combo, index)) throw ELumetaError("cannot pick the link type " + APredecessor.Type);
    SendKey(combo, Qt::Key_Return);
  }

  const TEditRequest& FRequest;
  int FLooks = 0;
  bool FOpened = false;
  std::string FError;
};

}  // namespace

TEditRequest ParseEditRequest(TActionEditor& AEditor, const std::vector<std::string>& AArgs) {
  TEditRequest request;
  bool okOrCancel = false;
  for (size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& word = AArgs[i];
    const auto next = [&]() -> const std::string& {
      if (i + 1 >= AArgs.size()) throw ELumetaError(word + " needs a value");
      return AArgs[++i];
    };
    if (word == "--set") {
      const std::string& assignment = next();
      const size_t equals = assignment.find('=');
      const std::string name = assignment.substr(0, equals);
      const TEditField* field = FindEditField(name);
      if (equals == std::string::npos || !field)
        throw ELumetaError("--set takes FIELD=VALUE; the fields are " + FieldNameList());
      const std::string value = assignment.substr(equals + 1);
      CheckValue(*field, value);
      request.Fields.push_back({field->Name, value});
    } else if (word == "--pred") {
      std::string text = next();
      TEditRequest::TPredecessor predecessor;
      predecessor.Remove = !text.empty() && text.front() == '-';
      if (predecessor.Remove) text.erase(0, 1);
      int64_t task = 0;
      TTaskLinkType type = ltFinishToStart;
      if (!AEditor.ParsePredecessor(text, task, type) || task < 0)
        throw ELumetaError("--pred takes a task ID with an optional type (12, 12SS, -12): '" + text + "'");
      predecessor.TaskID = std::to_string(task);
      if (text != predecessor.TaskID) predecessor.Type = std::string(KTaskLinkTypeCodes[type]);
      request.Predecessors.push_back(predecessor);
    } else if (word == "--page") {
      request.Page = next();
      if (request.Page != "general" && request.Page != "advanced")
        throw ELumetaError("--page takes general or advanced");
    } else if (word == "--screenshot") {
      request.Screenshot = next();
    } else if (word == "--ok" || word == "--cancel") {
      if (okOrCancel) throw ELumetaError("give one of --ok and --cancel");
      okOrCancel = true;
      request.Ok = word == "--ok";
    } else if (word.starts_with("--")) {
      throw ELumetaError("unknown option '" + word + "'");
    } else {
      request.NodeIDs.push_back(word);
    }
  }
  if (request.NodeIDs.empty()) throw ELumetaError("edit needs at least one node ID");
  return request;
}

void RunEditCommand(TLumetaModel* AModel, ISelection* ASelection, const TEditRequest& ARequest) {
  EnsureWidgetApplication();
  TEditDriver driver(ARequest);
  // Owned here, so that a dialog that never opens leaves no driver waiting in the event queue.
  QTimer timer;
  timer.setSingleShot(true);
  timer.setInterval(0);
  driver.Attach(timer);
  timer.start();
  ExecuteEntry(AModel, ASelection, KEditActionEntry, {});
  if (!driver.Opened()) throw ELumetaError("the Edit Action dialog did not open");
  if (!driver.Error().empty()) throw ELumetaError(driver.Error() + "; the dialog was cancelled");
}
