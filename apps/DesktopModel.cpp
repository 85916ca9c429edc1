#include "apps/DesktopModel.h"

#include <QDate>

#include <algorithm>
#include <limits>
#include <string>

#include "apps/DesktopCommands.h"
#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/OleDate.h"
#include "contract/ActionVocabulary.h"
#include "host/MapEditCommands.h"
#include "session/HostDataEditor.h"

namespace {

const char* const KCaptions[dcCount] = {"Title",    "Start", "Due",  "Completed",    "Duration",
                                        "Slack",    "% Complete", "Status", "Priority", "Cost",
                                        "Work",     "Predecessors", "Resources"};
// The field each column shows and edits; none for the title, the slack and the predecessors.
constexpr std::optional<TActionField> KColumnFields[dcCount] = {
    std::nullopt, acStartDate, acDueDate, acCompletedDate, acDuration, std::nullopt, acComplete,
    acStatus,     acPriority,  acCost,    acWork,          std::nullopt, std::nullopt};

QString Number(double AValue) { return QString::number(AValue, 'g', 10); }

QDate DayOf(double ADate) {
  const TDateTimeParts parts = DecodeDateTime(ADate);
  return QDate(parts.Year, parts.Month, parts.Day);
}

QString DateText(double ADate) { return ADate > 0 ? DayOf(ADate).toString(Qt::ISODate) : QString(); }

// What a record shows read through its own getters, for a host without the plug-in's table.
TShownAction Shown(IActionAttribute* AAction) {
  return {true,
          AAction->GetStartDate(),
          AAction->GetCompletedDate(),
          AAction->GetDuration(),
          AAction->GetDurationMeasure(),
          AAction->GetComplete(),
          AAction->GetStatus(),
          AAction->GetDueDate(),
          AAction->GetPriority()};
}

QString Quantity(double AValue, int32_t AMeasure) {
  return Number(AValue) + QLatin1Char(' ') + QString::fromLatin1(GetMeasureText(AMeasure)).toLower();
}

}  // namespace

TDesktopItemModel::TDesktopItemModel(QObject* AParent) : QAbstractItemModel(AParent) {}

TDesktopItemModel::~TDesktopItemModel() {
  if (FDocument) FDocument->RemoveObserver(this);
}

void TDesktopItemModel::SetDocument(TMapDocument* ADocument) {
  beginResetModel();
  if (FDocument) FDocument->RemoveObserver(this);
  FDocument = ADocument;
  FEditor = FDocument ? std::make_unique<TActionEditor>(*FDocument) : nullptr;
  if (FDocument) FDocument->AddObserver(this);
  Forget();
  FRows.clear();
  if (TLumetaModel* model = Model()) {
    FRows.push_back({0, 0});
    if (model->Map().Root()->ReadHostData().Expanded) AppendShown(model->Map().Root(), 1, FRows);
  }
  IndexRows();
  endResetModel();
}

TLumetaNode* TDesktopItemModel::Node(int64_t AID) const {
  TLumetaModel* model = Model();
  return model && AID >= 0 ? model->Map().FindNode(AID) : nullptr;
}

ComPtr<IActionAttribute> TDesktopItemModel::Action(int64_t AID) const {
  TLumetaNode* node = Node(AID);
  ComPtr<IProperty> property = node ? node->FindProperty(KActionPropertyName) : nullptr;
  return property ? QueryAs<IActionAttribute>(property.get()) : nullptr;
}

void CheckEdit(const TEditResult& AResult) {
  if (!AResult) throw EDesktopRefused(AResult);
  for (const std::string& warning : AResult.Warnings) DialogService().ShowMessage(TMessageKind::Warning, warning);
}

void TDesktopItemModel::AppendShown(TLumetaNode* ANode, int ADepth, std::vector<TRow>& ARows) const {
  // Pre-order with a stack of its own: maps may be deeper than the native stack.
  std::vector<std::pair<TLumetaNode*, int>> stack;
  for (size_t i = ANode->Children().size(); i-- > 0;) stack.emplace_back(ANode->Children()[i].get(), ADepth);
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    ARows.push_back({node->ID(), depth});
    if (!node->ReadHostData().Expanded) continue;
    for (size_t i = node->Children().size(); i-- > 0;) stack.emplace_back(node->Children()[i].get(), depth + 1);
  }
}

void TDesktopItemModel::IndexRows() {
  FRowOf.clear();
  FRowOf.reserve(FRows.size());
  for (size_t row = 0; row < FRows.size(); ++row) FRowOf.emplace(FRows[row].ID, static_cast<int>(row));
}

void TDesktopItemModel::Reload() {
  TLumetaModel* model = Model();
  Forget();
  if (!model) return;
  std::vector<TRow> rows{{0, 0}};
  if (model->Map().Root()->ReadHostData().Expanded) AppendShown(model->Map().Root(), 1, rows);
  // Texts are read from the map when painted; a range signal would also reset an open editor.
  if (rows == FRows) return;
  // The rows that stay keep their selection and the focus, wherever they moved to.
  Q_EMIT layoutAboutToBeChanged();
  const QModelIndexList persistent = persistentIndexList();
  std::vector<int64_t> ids;
  ids.reserve(persistent.size());
  for (const QModelIndex& old : persistent) ids.push_back(IDAt(old.row()));
  FRows = std::move(rows);
  IndexRows();
  for (qsizetype i = 0; i < persistent.size(); ++i) changePersistentIndex(persistent[i], IndexOf(ids[i], persistent[i].column()));
  Q_EMIT layoutChanged();
}

QModelIndex TDesktopItemModel::index(int ARow, int AColumn, const QModelIndex& AParent) const {
  if (AParent.isValid() || ARow < 0 || ARow >= rowCount() || AColumn < 0 || AColumn >= dcCount) return {};
  return createIndex(ARow, AColumn);
}

QModelIndex TDesktopItemModel::parent(const QModelIndex&) const { return {}; }

int TDesktopItemModel::rowCount(const QModelIndex& AParent) const {
  return AParent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TDesktopItemModel::columnCount(const QModelIndex& AParent) const { return AParent.isValid() ? 0 : dcCount; }

int TDesktopItemModel::RowOf(int64_t AID) const {
  const auto found = FRowOf.find(AID);
  return found == FRowOf.end() ? -1 : found->second;
}

QModelIndex TDesktopItemModel::IndexOf(int64_t AID, int AColumn) const {
  const int row = RowOf(AID);
  return row < 0 ? QModelIndex() : index(row, AColumn);
}

QVariant TDesktopItemModel::headerData(int ASection, Qt::Orientation AOrientation, int ARole) const {
  if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole || ASection < 0 || ASection >= dcCount) return {};
  return QString::fromLatin1(KCaptions[ASection]);
}

Qt::ItemFlags TDesktopItemModel::flags(const QModelIndex& AIndex) const {
  if (!AIndex.isValid()) return Qt::NoItemFlags;
  const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  // The root is the map's central topic: it has a title, never an action. Slack is worked out.
  if (AIndex.column() == dcSlack) return flags;
  return IDOf(AIndex) != 0 || AIndex.column() == dcTitle ? flags | Qt::ItemIsEditable : flags;
}

QVariant TDesktopItemModel::data(const QModelIndex& AIndex, int ARole) const {
  if (!AIndex.isValid() || AIndex.row() >= rowCount()) return {};
  const TRow& row = FRows[AIndex.row()];
  switch (ARole) {
    case Qt::DisplayRole: return CellText(row.ID, AIndex.column());
    case NodeIDRole: return QVariant::fromValue<qint64>(row.ID);
    case DepthRole: return row.Depth;
    case HasChildrenRole: {
      TLumetaNode* node = Node(row.ID);
      return node && !node->Children().empty();
    }
    case ExpandedRole: return IsExpanded(row.ID);
    case Qt::EditRole: {
      // What an editor starts from: the typed value where the column has one.
      ComPtr<IActionAttribute> action = Action(row.ID);
      const int column = AIndex.column();
      try {
        if (action && (column == dcStart || column == dcDue || column == dcCompleted)) {
          const double date = column == dcStart ? action->GetStartDate()
                              : column == dcDue ? action->GetDueDate()
                                                : action->GetCompletedDate();
          return date > 0 ? DayOf(date) : QDate();
        }
        if (column == dcComplete) return action ? action->GetComplete() : 0;
      } catch (const std::exception&) {
        // a value the converter refuses is edited from its text
      }
      return CellText(row.ID, column);
    }
    default: return {};
  }
}

QString TDesktopItemModel::CellText(int64_t AID, int AColumn) const {
  return AColumn >= 0 && AColumn < dcCount && Node(AID) ? Cached(AID).Texts[AColumn] : QString();
}

TDesktopItemModel::TRollUpHold::TRollUpHold(const TDesktopItemModel& AModel) {
  TLumetaModel* model = AModel.Model();
  if (!model) return;
  FTable = QueryAs<IActionTable>(model->FindPlugInUI(KActionPlugInName).get());
  FRoot = model->Map().Root();
  if (FTable) FTable->HoldRollUps(FRoot);
}

TDesktopItemModel::TRollUpHold::~TRollUpHold() {
  if (FTable) FTable->ReleaseRollUps(FRoot);
}

const TDesktopItemModel::TRowCache& TDesktopItemModel::Cached(int64_t AID) const {
  constexpr size_t KMostRows = 4096;  // far more than a screen shows
  if (const auto found = FCache.find(AID); found != FCache.end()) return found->second;
  if (FCache.size() >= KMostRows) FCache.clear();
  // This row and the unread ones after it, a screenful or two; their branches roll up together.
  constexpr size_t KRowsRead = 64;
  std::vector<int64_t> ids{AID};
  const int shownAt = RowOf(AID);  // none for a node in a collapsed branch: read alone
  for (size_t next = shownAt < 0 ? FRows.size() : shownAt + 1; next < FRows.size() && ids.size() < KRowsRead; ++next)
    if (!FCache.count(FRows[next].ID)) ids.push_back(FRows[next].ID);
  std::vector<INode*> nodes;
  nodes.reserve(ids.size());
  for (const int64_t id : ids) nodes.push_back(Node(id));
  TLumetaModel* model = Model();
  ComPtr<IActionTable> table = model ? QueryAs<IActionTable>(model->FindPlugInUI(KActionPlugInName).get()) : nullptr;
  const std::vector<TShownAction> shown = table ? table->ShownActions(nodes, {}, {}) : std::vector<TShownAction>(nodes.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    TRowCache& row = FCache[ids[i]];
    for (int column = 0; column < dcCount; ++column) row.Texts[column] = ReadText(ids[i], column, shown[i]);
    row.Bar = ReadBar(ids[i], shown[i]);
  }
  return FCache[AID];
}

QString TDesktopItemModel::ReadText(int64_t AID, int AColumn, const TShownAction& AShown) const {
  TLumetaNode* node = Node(AID);
  if (!node) return {};
  if (AColumn == dcTitle) return QString::fromStdString(node->Title()).replace(QLatin1Char('\n'), QLatin1Char(' '));
  if (AColumn == dcPredecessors) {
    QStringList links;
    for (const TTaskLinkInfo& link : FEditor->TaskLinks(AID, true))
      links << QString::number(link.NodeID) + (std::string_view(link.Type) == "FS" ? QString() : QString::fromLatin1(link.Type));
    return links.join(QStringLiteral(", "));
  }
  if (AColumn == dcResources) return QString::fromStdString(ResourceListText(node->GetResources()));
  if (AColumn == dcSlack) {
    // A node without an action shows no dates, so no slack either, though its subtasks have.
    const std::optional<TTaskSlack> slack = AShown.HasAction || Action(AID) ? Slack(AID) : std::nullopt;
    return slack ? QString::fromStdString(SlackText(*slack)) : QString();
  }
  try {
    ComPtr<IActionAttribute> action = Action(AID);
    if (!action) return {};
    const TShownAction shown = AShown.HasAction ? AShown : Shown(action.get());
    switch (AColumn) {
      case dcStart: return DateText(shown.Start);
      case dcDue: return DateText(action->GetDueDate());
      case dcCompleted: return DateText(shown.Finish);
      case dcDuration:
        return shown.Duration > 0 || node->IsSummaryTask() ? Quantity(shown.Duration, shown.DurationMeasure) : QString();
      case dcComplete: return QString::number(shown.Complete) + QLatin1Char('%');
      case dcStatus: return QString::fromStdString(shown.Status);
      case dcPriority: return QString::fromStdString(action->GetPriority());
      case dcCost: return action->GetCost() != 0 ? Number(action->GetCost()) : QString();
      case dcWork: return action->GetWork() > 0 ? Quantity(action->GetWork(), action->GetWorkMeasure()) : QString();
      default: return {};
    }
  } catch (const std::exception&) {
    return QStringLiteral("?");  // a value the file holds but the converter refuses
  }
}

// ---- edits

bool TDesktopItemModel::setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole) {
  if (!AIndex.isValid() || ARole != Qt::EditRole || !Model()) return false;
  const int64_t id = IDOf(AIndex);
  TLumetaNode* node = Node(id);
  if (!node || (id == 0 && AIndex.column() != dcTitle)) return false;
  bool done = false;
  if (AIndex.column() == dcTitle) {
    const std::string title = AValue.toString().toStdString();
    if (title == node->Title()) return false;
    done = DesktopGuard([&] { Model()->GetCommandProcessor()->Execute(make<TRetitleNodeCommand>(Model(), id, title).get(), nullptr); });
  } else if (AIndex.column() == dcPredecessors) {
    done = DesktopGuard([&] { ChangePredecessors(id, AValue.toString().toStdString()); });
  } else if (AIndex.column() == dcResources) {
    done = DesktopGuard([&] { CheckEdit(THostDataEditor(Model()).SetResources(id, AValue.toString().toStdString())); });
  } else if (const std::optional<TActionField> field = KColumnFields[AIndex.column()]) {
    return EditField(id, *field, AValue);
  }
  Reload();
  return done;
}

bool TDesktopItemModel::EditField(int64_t AID, TActionField AField, const QVariant& AValue) {
  if (!Node(AID) || AID == 0) return false;
  const bool done = DesktopGuard([&] { RunFieldEdit(AID, AField, AValue); });
  Reload();
  return done;
}

void TDesktopItemModel::ChangePredecessors(int64_t AID, const std::string& AText) {
  std::vector<TPredecessorChange> changes;
  CheckEdit(FEditor->PredecessorChanges(AID, AText, changes));
  if (changes.empty()) return;
  TLumetaModel* model = Model();
  TActionEditor* editor = FEditor.get();
  // Each link is prepared once the ones before it have run, so the rules see the links as they
  // are then; a link refused after others ran fails the step, and the processor takes those back.
  model->GetCommandProcessor()->Execute(
      make<TDesktopStepCommand>(model, "Change Predecessors",
                                [model, editor, AID, changes] {
                                  for (const TPredecessorChange& change : changes) {
                                    ComPtr<ICommand> command;
                                    CheckEdit(editor->PrepareLinkChange(change.Change, change.PredecessorID, AID,
                                                                        change.Type, command));
                                    model->Processor()->Execute(command.get(), nullptr);
                                  }
                                })
          .get(),
      nullptr);
}

void TDesktopItemModel::RunFieldEdit(int64_t AID, TActionField AField, const QVariant& AValue) {
  TActionEditor* editor = FEditor.get();
  const std::string id = std::to_string(AID);
  const auto measureName = [](int32_t AMeasure) { return KMeasurePickList[AMeasure == amHours ? amHours : amDays]; };
  switch (AField) {
    case acStartDate:
    case acDueDate:
    case acCompletedDate: {
      // A day alone: the editor's rule gives it the field's time of day.
      const QDate date = AValue.toDate();
      return CheckEdit(editor->SetField(id, AField, date.isValid() ? date.toString(Qt::ISODate).toStdString() : ""));
    }
    case acComplete: return CheckEdit(editor->SetField(id, AField, std::to_string(AValue.toInt())));
    case acCost:
    case acQuantity: return CheckEdit(editor->SetField(id, AField, Number(AValue.toDouble()).toStdString()));
    case acDurationMeasure:
    case acWorkMeasure: return CheckEdit(editor->SetField(id, AField, measureName(AValue.toInt())));
    case acDuration:
    case acWork: {
      const TDesktopQuantity quantity = AValue.value<TDesktopQuantity>();
      const std::string number = Number(quantity.Value).toStdString();
      ComPtr<IActionAttribute> action = Action(AID);
      const int32_t measure = action ? (AField == acDuration ? action->GetDurationMeasure() : action->GetWorkMeasure())
                                     : int32_t(amDays);
      if (!quantity.Measure || *quantity.Measure == measure) return CheckEdit(editor->SetField(id, AField, number));
      if (AField == acDuration) {
        // The duration entry takes its measure with the number, as one change.
        CheckEdit(editor->Select({id}));
        return CheckEdit(editor->RunEntry(ciDuration, {number, measureName(*quantity.Measure)}));
      }
      // Work's measure has a field of its own; it changes first, so that the number typed is
      // taken in the new measure, and both are one undo step.
      TLumetaModel* model = Model();
      const std::string unit = measureName(*quantity.Measure);
      model->GetCommandProcessor()->Execute(make<TDesktopStepCommand>(model, "Change Work",
                                                                      [editor, id, number, unit] {
                                                                        CheckEdit(editor->SetField(id, acWorkMeasure, unit));
                                                                        CheckEdit(editor->SetField(id, acWork, number));
                                                                      })
                                                .get(),
                                            nullptr);
      return;
    }
    default: return CheckEdit(editor->SetField(id, AField, AValue.toString().toStdString()));
  }
}

void TDesktopItemModel::ShiftTask(int64_t AID, double ADays, bool AFinishOnly) {
  TLumetaModel* model = Model();
  const std::optional<TDesktopBar> bar = Bar(AID);
  if (!bar || ADays == 0) return;
  std::vector<std::pair<TActionField, std::string>> edits;
  if (AFinishOnly) {
    edits.emplace_back(acCompletedDate, DateTimeToXmlText(bar->Finish + ADays));
  } else {
    edits.emplace_back(acStartDate, DateTimeToXmlText(bar->Start + ADays));
    // Without scheduling a start is only a date: the finish goes along by hand, in the same step.
    if (!Scheduling()) edits.emplace_back(acCompletedDate, DateTimeToXmlText(bar->Finish + ADays));
  }
  TActionEditor* editor = FEditor.get();
  const std::string id = std::to_string(AID);
  DesktopGuard([&] {
    model->GetCommandProcessor()->Execute(
        make<TDesktopStepCommand>(model, AFinishOnly ? "Change Finish" : "Move Task",
                                  [editor, id, edits] {
                                    for (const auto& [field, date] : edits) CheckEdit(editor->SetField(id, field, date));
                                  })
            .get(),
        nullptr);
  });
  Reload();
}

// ---- rows shown and hidden

bool TDesktopItemModel::IsExpanded(int64_t AID) const {
  TLumetaNode* node = Node(AID);
  return node && node->ReadHostData().Expanded;
}

bool TDesktopItemModel::IsCollapsed(int64_t AID) const {
  TLumetaNode* node = Node(AID);
  return node && !node->Children().empty() && !node->ReadHostData().Expanded;
}

void TDesktopItemModel::SetExpanded(int64_t AID, bool AExpanded) {
  TLumetaNode* node = Node(AID);
  if (!node || node->ReadHostData().Expanded == AExpanded) return;
  node->HostData().Expanded = AExpanded;
  const int row = RowOf(AID);
  if (row < 0 || node->Children().empty()) return;
  if (AExpanded) {
    std::vector<TRow> shown;
    AppendShown(node, FRows[row].Depth + 1, shown);
    beginInsertRows({}, row + 1, row + static_cast<int>(shown.size()));
    FRows.insert(FRows.begin() + row + 1, shown.begin(), shown.end());
    IndexRows();
    endInsertRows();
  } else {
    int last = row;
    while (last + 1 < rowCount() && FRows[last + 1].Depth > FRows[row].Depth) ++last;
    beginRemoveRows({}, row + 1, last);
    FRows.erase(FRows.begin() + row + 1, FRows.begin() + last + 1);
    IndexRows();
    endRemoveRows();
  }
  Q_EMIT dataChanged(index(row, 0), index(row, dcCount - 1));
}

int64_t TDesktopItemModel::ShownAt(int64_t AID) const {
  // A hidden node is shown by the nearest ancestor that has a row: the collapsed branch.
  for (TLumetaNode* node = Node(AID); node; node = node->Parent())
    if (RowOf(node->ID()) >= 0) return node->ID();
  return AID;
}

// ---- the strip's view of the tasks

std::optional<TDesktopBar> TDesktopItemModel::Bar(int64_t AID) const {
  return Node(AID) ? Cached(AID).Bar : std::nullopt;
}

std::optional<TTaskSlack> TDesktopItemModel::Slack(int64_t AID) const {
  TLumetaModel* model = Model();
  if (!model || FNoCriticalPath) return std::nullopt;
  if (!FCriticalPath) {
    try {
      FCriticalPath.emplace(model->Map());
    } catch (const std::exception&) {
      FNoCriticalPath = true;  // until the next change
      return std::nullopt;
    }
  }
  return FCriticalPath->Find(AID);
}

std::optional<TDesktopBar> TDesktopItemModel::ReadBar(int64_t AID, const TShownAction& AShown) const {
  TLumetaNode* node = Node(AID);
  ComPtr<IActionAttribute> action = Action(AID);
  if (!action) return std::nullopt;
  try {
    const TShownAction shown = AShown.HasAction ? AShown : Shown(action.get());
    TDesktopBar bar{shown.Start, shown.Finish, shown.Complete, action->GetIsMilestone(), node->IsSummaryTask(), false, 0, 0, {}};
    if (bar.Start <= 0) return std::nullopt;
    bar.Finish = std::max(bar.Finish, bar.Start);
    if (const auto conflict = FConflicts.find(AID); conflict != FConflicts.end()) bar.Conflict = conflict->second;
    const std::optional<TTaskSlack> slack = Slack(AID);
    bar.Critical = slack && slack->Critical;
    if (const auto& baseline = node->ReadHostData().Baseline) {
      bar.BaselineStart = baseline->Start;
      bar.BaselineFinish = std::max(baseline->Finish, baseline->Start);
    }
    return bar;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void TDesktopItemModel::SetConflicts(const std::vector<TScheduleConflict>& AConflicts) {
  std::unordered_map<int64_t, QString> conflicts;
  for (const TScheduleConflict& conflict : AConflicts) {
    QString& lines = conflicts[QString::fromStdString(conflict.TaskID).toLongLong()];
    lines += (lines.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(ConflictText(conflict));
  }
  if (conflicts == FConflicts) return;
  FConflicts = std::move(conflicts);
  Forget();
}

QString TDesktopItemModel::ToolTip(int64_t AID) const {
  TLumetaNode* node = Node(AID);
  ComPtr<IProperty> property = node ? node->FindProperty(KActionPropertyName) : nullptr;
  QString hint;
  try {
    hint = property ? QString::fromStdString(property->GetHint()) : QString();
  } catch (const std::exception& error) {
    return QString::fromStdString(error.what());
  }
  const auto conflict = FConflicts.find(AID);
  if (conflict == FConflicts.end()) return hint;
  // The action's hint is a whole HTML page: the conflicts go inside its body.
  const QString lines = QStringLiteral("<FONT COLOR=#C00000><B>Conflict</B>: %1</FONT>")
                            .arg(conflict->second.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<BR>")));
  const qsizetype body = hint.lastIndexOf(QStringLiteral("</BODY>"), -1, Qt::CaseInsensitive);
  if (body < 0) return QStringLiteral("<HTML><BODY>%1</BODY></HTML>").arg(lines);
  return hint.insert(body, QStringLiteral("<BR>") + lines);
}

std::vector<TTaskLinkInfo> TDesktopItemModel::Predecessors(int64_t AID) const {
  return Node(AID) ? FEditor->TaskLinks(AID, true) : std::vector<TTaskLinkInfo>{};
}

bool TDesktopItemModel::Scheduling() const {
  TLumetaModel* model = Model();
  return model && model->Map().Settings() && model->Map().Settings()->GetTaskScheduling();
}

TMapCalendar TDesktopItemModel::Calendar() const {
  TLumetaModel* model = Model();
  return model && model->Map().MapSettings() ? model->Map().MapSettings()->Calendar() : TMapCalendar{};
}

std::pair<double, double> TDesktopItemModel::TaskSpan() const {
  if (!FTaskSpan) FTaskSpan = ReadTaskSpan();
  return *FTaskSpan;
}

std::pair<double, double> TDesktopItemModel::ReadTaskSpan() const {
  TLumetaModel* model = Model();
  if (!model) return {0.0, 0.0};
  double first = std::numeric_limits<double>::max(), last = 0;
  const std::string actionName = KActionPropertyName;
  const size_t actionRank = model->Map().PropertyRank(actionName);
  // The dates a bar starts and ends at (ReadBar's), from the action's own getters: no summary is
  // asked, see below.
  const auto take = [&](TLumetaNode* ANode) {
    ComPtr<IProperty> property = ANode->FindProperty(actionName, actionRank);
    ComPtr<IActionAttribute> action = property ? property.try_as<IActionAttribute>() : nullptr;
    if (!action) return false;
    try {
      const double start = action->GetStartDate();
      if (start <= 0) return false;
      first = std::min(first, start);
      last = std::max(last, std::max(action->GetCompletedDate(), start));
      return true;
    } catch (const std::exception&) {
      return false;
    }
  };
  // While the map schedules, a summary's dates are rolled up from the tasks below it, which the
  // walk reads anyway: asking a summary that has any would roll up its whole branch once more,
  // and a deep map would cost its depth times its size. Children first, then the node.
  const bool rolledUp = Scheduling();
  struct TVisit {
    TLumetaNode* Node;
    size_t NextChild = 0;
    bool TaskBelow = false;
  };
  std::vector<TVisit> stack{{model->Map().Root()}};
  while (!stack.empty()) {
    TVisit& visit = stack.back();
    if (visit.NextChild < visit.Node->Children().size()) {
      stack.push_back({visit.Node->Children()[visit.NextChild++].get()});
      continue;
    }
    const bool below = visit.TaskBelow;
    const bool task = (below && rolledUp ? false : take(visit.Node)) || below;
    stack.pop_back();
    if (!stack.empty() && task) stack.back().TaskBelow = true;
  }
  return last == 0 ? std::pair(0.0, 0.0) : std::pair(first, last);
}
