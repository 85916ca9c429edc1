#include "apps/PanelCommand.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>

#include <algorithm>
#include <cctype>
#include <optional>
#include <ostream>

#include "apps/LumetaShell.h"
#include "apps/WidgetApplication.h"
#include "com/LumetaLocale.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "contract/ActionVocabulary.h"
#include "contract/PlugInUIIntf.h"

namespace {

enum class TFieldKind { Flag, Date, Number, Spin, Text, List };

// One field of the panel as a user sees it: its label, the check box in front of it, the control
// holding its value and the unit beside that, found by their object names.
struct TPanelField {
  const char* Label;
  TFieldKind Kind;
  const char* Box;
  const char* Control;
  const char* Unit;
};

constexpr TPanelField KPanelFields[] = {
    {"Action For Outlook?", TFieldKind::Flag, "chIsAction", nullptr, nullptr},
    {KActionFieldNames[acStartDate], TFieldKind::Date, "chStartDate", "dtpStartDate", nullptr},
    {KActionFieldNames[acDueDate], TFieldKind::Date, "chDueDate", "dtpDueDate", nullptr},
    {KActionFieldNames[acCompletedDate], TFieldKind::Date, "chEndDate", "dtpEndDate", nullptr},
    {KActionFieldNames[acDuration], TFieldKind::Number, nullptr, "ebDuration", "cbDuration"},
    {KActionFieldNames[acComplete], TFieldKind::Spin, nullptr, "seComplete", nullptr},
    {KActionFieldNames[acPriority], TFieldKind::Text, nullptr, "cbPriority", nullptr},
    {KActionFieldNames[acStatus], TFieldKind::List, nullptr, "cbStatus", nullptr},
    {KActionFieldNames[acCost], TFieldKind::Number, nullptr, "editCost", nullptr},
    {KActionFieldNames[acQuantity], TFieldKind::Number, nullptr, "editQuantity", nullptr},
    {KActionFieldNames[acWork], TFieldKind::Number, nullptr, "editWork", "cbWork"},
};

// Lower case without blanks and question marks: "start date" and "StartDate" name one field.
std::string Folded(const std::string& AText) {
  std::string folded;
  for (char c : AText)
    if (c != ' ' && c != '?') folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return folded;
}

const TPanelField& FindField(const std::string& AName) {
  const std::string name = Folded(AName);
  for (const TPanelField& field : KPanelFields)
    if (Folded(field.Label) == name || (field.Box && Folded(std::string(field.Box).substr(2)) == name) ||
        (field.Kind == TFieldKind::Flag && name == "isaction"))
      return field;
  std::string names;
  for (const TPanelField& field : KPanelFields) names += std::string(names.empty() ? "" : ", ") + field.Label;
  throw EShellUsage("the panel has no field '" + AName + "'; its fields are " + names);
}

template <class T>
T* Find(QWidget* AForm, const char* AName) {
  T* widget = AName ? AForm->findChild<T*>(AName) : nullptr;
  if (AName && !widget) throw ELumetaError(std::string("the panel has no control ") + AName);
  return widget;
}

std::string BoxText(QCheckBox* ABox) {
  switch (ABox->checkState()) {
    case Qt::Checked: return "[x]";
    case Qt::PartiallyChecked: return "[-]";
    default: return "[ ]";
  }
}

std::string ValueText(QWidget* AForm, const TPanelField& AField) {
  QCheckBox* box = Find<QCheckBox>(AForm, AField.Box);
  QWidget* control = Find<QWidget>(AForm, AField.Control);
  auto* unit = Find<QComboBox>(AForm, AField.Unit);
  std::string text;
  switch (AField.Kind) {
    case TFieldKind::Flag: return BoxText(box);
    case TFieldKind::Date: return BoxText(box) + " " + static_cast<QDateTimeEdit*>(control)->text().toStdString();
    case TFieldKind::Number: text = static_cast<QLineEdit*>(control)->text().toStdString(); break;
    case TFieldKind::Spin: return static_cast<QAbstractSpinBox*>(control)->text().toStdString();
    case TFieldKind::Text:
    case TFieldKind::List: return static_cast<QComboBox*>(control)->currentText().toStdString();
  }
  if (unit && !unit->currentText().isEmpty()) text.append(" ").append(unit->currentText().toStdString());
  return text;
}

bool Enabled(QWidget* AForm, const TPanelField& AField) {
  return Find<QWidget>(AForm, AField.Box ? AField.Box : AField.Control)->isEnabled();
}

// Types the day, the month and the year each into its own section, the month by name where the
// locale's short format names it ("4 May 2027").
void TypeDate(QDateTimeEdit* APicker, QDate ADate) {
  APicker->setFocus();
  const QString format = APicker->displayFormat();
  for (int i = 0; i < APicker->sectionCount(); ++i) {
    const QDateTimeEdit::Section section = APicker->sectionAt(i);
    QString text;
    if (section == QDateTimeEdit::DaySection) text = QString::number(ADate.day());
    if (section == QDateTimeEdit::MonthSection)
      text = format.contains(QLatin1String("MMM")) ? QLocale().monthName(ADate.month(), QLocale::ShortFormat)
                                                   : QString::number(ADate.month());
    if (section == QDateTimeEdit::YearSection)
      text = format.contains(QLatin1String("yyyy")) ? QString::number(ADate.year())
                                                    : QString::number(ADate.year() % 100).rightJustified(2, '0');
    if (text.isEmpty()) continue;
    APicker->setSelectedSection(section);
    TypeText(APicker, text);
  }
}

void Type(QWidget* ATarget, const QString& AText) {
  ATarget->setFocus();
  SendKey(ATarget, Qt::Key_A, Qt::ControlModifier);  // replaces what the control holds
  TypeText(ATarget, AText);
}

void PickItem(QComboBox* ACombo, const std::string& AText, const std::string& ALabel) {
  const int index = ACombo->findText(QString::fromStdString(AText), Qt::MatchFixedString);
  if (index < 0) throw EShellUsage("'" + AText + "' is not in the list of " + ALabel);
  ACombo->setFocus();
  SendKey(ACombo, Qt::Key_Home);
  for (int i = 0; i < index; ++i) SendKey(ACombo, Qt::Key_Down);
}

std::optional<bool> FlagOf(const std::string& AText) {
  const std::string text = Folded(AText);
  if (text == "yes" || text == "on" || text == "true" || text == "1") return true;
  if (text == "no" || text == "off" || text == "false" || text == "0" || text.empty() || text == "none") return false;
  return std::nullopt;
}

void SetBox(QCheckBox* ABox, bool AChecked) {
  ABox->setFocus();
  // A grayed box turns checked on the first press.
  while ((ABox->checkState() == Qt::Checked) != AChecked) SendKey(ABox, Qt::Key_Space, Qt::NoModifier, " ");
}

// Types AValue into the field; answers the control typed into last.
QWidget* TypeField(QWidget* AForm, const TPanelField& AField, const std::string& AValue) {
  if (!Enabled(AForm, AField)) {
    // A field the plug-in refuses says why; a panel disabled as a whole does not.
    const QString why = Find<QWidget>(AForm, AField.Box ? AField.Box : AField.Control)->toolTip();
    throw ELumetaError(why.isEmpty() ? std::string("the panel's ") + AField.Label + " is disabled" : why.toStdString());
  }
  QCheckBox* box = Find<QCheckBox>(AForm, AField.Box);
  QWidget* control = Find<QWidget>(AForm, AField.Control);
  auto* unit = Find<QComboBox>(AForm, AField.Unit);
  switch (AField.Kind) {
    case TFieldKind::Flag: {
      const std::optional<bool> flag = FlagOf(AValue);
      if (!flag) throw EShellUsage("'" + AValue + "' is not yes or no");
      SetBox(box, *flag);
      return box;
    }
    case TFieldKind::Date: {
      const std::optional<bool> none = FlagOf(AValue);
      if (none && !*none) {
        SetBox(box, false);
        return box;
      }
      const std::optional<double> date = XmlTextToDateTime(AValue);
      if (!date || *date <= 0) throw EShellUsage("'" + AValue + "' is not a date (YYYY-MM-DD) or none");
      auto* picker = static_cast<QDateTimeEdit*>(control);
      const TDateTimeParts parts = DecodeDateTime(*date);
      // Typing the picker's date checks its box.
      TypeDate(picker, QDate(parts.Year, parts.Month, parts.Day));
      return picker;
    }
    case TFieldKind::Number: {
      // "2 days": the amount, then its unit.
      const size_t blank = AValue.find(' ');
      Type(control, QString::fromStdString(AValue.substr(0, blank)));
      if (blank != std::string::npos) {
        if (!unit) throw EShellUsage(std::string(AField.Label) + " has no unit");
        PickItem(unit, AValue.substr(blank + 1), std::string(AField.Label) + " units");
        return unit;
      }
      return control;
    }
    case TFieldKind::Spin:
    case TFieldKind::Text:
      Type(control, QString::fromStdString(AValue));
      return control;
    case TFieldKind::List:
      PickItem(static_cast<QComboBox*>(control), AValue, AField.Label);
      return control;
  }
  return control;
}

// The offscreen platform's notes about what it cannot do (no runtime folder, no window manager)
// say nothing about the panel; everything else Qt says goes through.
class TQuietPlatform {
 public:
  TQuietPlatform() { FPrevious = qInstallMessageHandler(&Filter); }
  ~TQuietPlatform() { qInstallMessageHandler(FPrevious); }
  TQuietPlatform(const TQuietPlatform&) = delete;
  TQuietPlatform& operator=(const TQuietPlatform&) = delete;

 private:
  static void Filter(QtMsgType AType, const QMessageLogContext& AContext, const QString& AText) {
    if (AText.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
        AText.contains(QLatin1String("does not support propagateSizeHints")))
      return;
    if (FPrevious)
      FPrevious(AType, AContext, AText);
  }
  static inline QtMessageHandler FPrevious = nullptr;
};

// Lets the panel catch up with what the edit reported.
void Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

}  // namespace

void RunPanelCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  std::vector<int64_t> ids;
  size_t first = 0;
  for (; first < AArgs.size() && !AArgs[first].starts_with("--"); ++first) {
    const std::optional<int64_t> id = ParseInteger<int64_t>(AArgs[first]);
    if (!id || *id < 0) throw EShellUsage("'" + AArgs[first] + "' is not a node ID");
    AModel->Map().GetNode(*id);
    ids.push_back(*id);
  }
  if (ids.empty()) throw EShellUsage(std::string("usage: ") + PanelCommandUsage);
  std::vector<std::pair<const TPanelField*, std::string>> edits;
  std::string screenshot;
  bool readOnly = false;
  for (size_t i = first; i < AArgs.size(); ++i) {
    if (AArgs[i] == "--screenshot" && i + 1 < AArgs.size()) {
      screenshot = AArgs[++i];
    } else if (AArgs[i] == "--read-only") {
      readOnly = true;
    } else if (AArgs[i] == "--set" && i + 1 < AArgs.size()) {
      const std::string& edit = AArgs[++i];
      const size_t equals = edit.find('=');
      if (equals == std::string::npos) throw EShellUsage("--set takes FIELD=VALUE, not '" + edit + "'");
      edits.emplace_back(&FindField(edit.substr(0, equals)), edit.substr(equals + 1));
    } else {
      throw EShellUsage(std::string("usage: ") + PanelCommandUsage);
    }
  }

  TQuietPlatform quiet;
  EnsureWidgetApplication();
  // The pickers and amounts show dates and numbers as the locale of the run writes them.
  QLocale::setDefault(QLocale(QString::fromStdString(LocaleService().Name())));
  ComPtr<IActionPlugInUI> ui = AModel->FindPlugInUI(KActionPlugInName);
  if (!ui) throw ELumetaError("the plug-in has no Action controller");
  ComPtr<IPlugInView> view = QueryAs<IPlugInView>(ui->CreateView(nullptr).get());
  if (!view) throw ELumetaError("the Action controller offers no panel");
  auto* form = static_cast<QWidget*>(view->GetHandle());
  view->SetReadOnlyMode(readOnly);
  view->Show();
  form->activateWindow();
  AModel->SetSelectedIDs(ids);
  Settle();

  if (!edits.empty()) {
    QWidget* last = nullptr;
    for (const auto& [field, value] : edits) last = TypeField(form, *field, value);
    SendKey(last, Qt::Key_Return);
    Settle();
  }
  for (const TPanelField& field : KPanelFields)
    AOut << field.Label << ": " << ValueText(form, field) << (Enabled(form, field) ? "" : " (disabled)") << '\n';
  if (!screenshot.empty() && !form->grab().save(QString::fromStdString(screenshot), "PNG"))
    throw ELumetaError("cannot write the picture to " + screenshot);
}
