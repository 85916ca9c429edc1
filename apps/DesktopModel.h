#pragma once
// The open map as the desktop's views see it: one row per node the tree shows, in the order it
// shows them, with the action columns. The tree and the Gantt strip both read it. The rows are a
// flat list of the expanded part of the map, made with a stack of its own and without any text:
// a chain of 100,000 nodes or a map of 100,000 tasks costs one walk per change of its shape, and
// every text is read from the map when a view paints it. Cell edits are typed values that go to
// the document's action editor.
#include <QAbstractItemModel>
#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include <memory>

#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "contract/ScheduleConflictsIntf.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/ActionEditIntf.h"
#include "contract/ActionVocabulary.h"
#include "host/CriticalPath.h"
#include "host/LumetaMapSettings.h"
#include "session/ActionEditor.h"
#include "session/MapDocument.h"

// The tree's columns, in order.
enum TDesktopColumn {
  dcTitle, dcStart, dcDue, dcCompleted, dcDuration, dcSlack, dcComplete, dcStatus, dcPriority, dcCost, dcWork,
  dcPredecessors, dcResources, dcCount
};

// An edit the action editor refused; Warned tells that the plug-in has said why already.
class EDesktopRefused : public ELumetaError {
 public:
  explicit EDesktopRefused(const TEditResult& AResult) : ELumetaError(AResult.Error), Warned(AResult.Warned) {}
  bool Warned;
};

// Raises what refused the edit; what the user should hear of an edit that was made is shown.
void CheckEdit(const TEditResult& AResult);

// Runs AWork; an error becomes a message box and false, unless the plug-in has shown its own.
template <class F>
bool DesktopGuard(F&& AWork) {
  try {
    AWork();
    return true;
  } catch (const EDesktopRefused& refused) {
    if (!refused.Warned) DialogService().ShowMessage(TMessageKind::Error, refused.what());
    return false;
  } catch (const std::exception& error) {
    DialogService().ShowMessage(TMessageKind::Error, error.what());
    return false;
  }
}

// A number with its measure as a Duration or Work cell takes it: no measure keeps the one the
// field has.
struct TDesktopQuantity {
  double Value = 0;
  std::optional<int32_t> Measure;
};
Q_DECLARE_METATYPE(TDesktopQuantity)

// A task's bar in the strip, from its (rolled-up) record. Whatever else the strip marks on a bar
// belongs here too, read from the map beside the dates.
struct TDesktopBar {
  double Start = 0;
  double Finish = 0;
  int Complete = 0;
  bool Milestone = false;
  bool Summary = false;
  // No slack: the task drives the project's finish.
  bool Critical = false;
  // The baseline's dates; 0 without a baseline.
  double BaselineStart = 0;
  double BaselineFinish = 0;
  // Why the rules let its dates stand where a link or the schedule start cannot hold them, one
  // conflict a line; empty when nothing does.
  QString Conflict;
};

class TDesktopItemModel : public QAbstractItemModel, private IUndoStateObserver {
 public:
  enum TRole {
    NodeIDRole = Qt::UserRole,  // qint64
    DepthRole,                  // int, 0 for the map's root
    HasChildrenRole,            // bool
    ExpandedRole,               // bool
  };

  explicit TDesktopItemModel(QObject* AParent = nullptr);
  ~TDesktopItemModel() override;

  // The document the rows show; null shows none. The model does not own it.
  void SetDocument(TMapDocument* ADocument);
  TMapDocument* Document() const { return FDocument; }
  TLumetaModel* Model() const { return FDocument ? FDocument->Model() : nullptr; }
  TLumetaNode* Node(int64_t AID) const;
  // The node's action record as the views read it (rolled up for a summary task); null without one.
  ComPtr<IActionAttribute> Action(int64_t AID) const;
  // Every edit of an action or a link goes through the document's action editor; null without a
  // document.
  TActionEditor* Editor() const { return FEditor.get(); }

  // Catches up with the shape of the map after it changed: rows that stay keep their selection and
  // focus. The views repaint to show changed texts.
  void Reload();

  QModelIndex index(int ARow, int AColumn, const QModelIndex& AParent = {}) const override;
  QModelIndex parent(const QModelIndex& AChild) const override;
  int rowCount(const QModelIndex& AParent = {}) const override;
  int columnCount(const QModelIndex& AParent = {}) const override;
  QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;
  QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& AIndex) const override;
  // A typed edit of a cell (Qt::EditRole): the title and predecessors as text, dates as QDate (an
  // invalid one clears the field), % Complete as int, Duration and Work as TDesktopQuantity, Cost
  // as double, Status and Priority as text. A refused edit is shown and answers false.
  bool setData(const QModelIndex& AIndex, const QVariant& AValue, int ARole = Qt::EditRole) override;

  // The cell's text, as the tree shows it.
  QString CellText(int64_t AID, int AColumn) const;
  // The row that shows the node; -1 when it is hidden in a collapsed branch or not in the map.
  int RowOf(int64_t AID) const;
  int64_t IDAt(int ARow) const { return ARow >= 0 && ARow < static_cast<int>(FRows.size()) ? FRows[ARow].ID : -1; }
  int64_t IDOf(const QModelIndex& AIndex) const { return AIndex.isValid() ? IDAt(AIndex.row()) : -1; }
  QModelIndex IndexOf(int64_t AID, int AColumn = 0) const;

  // The map keeps which branches are collapsed (its file does too); a view change, so no undo step.
  bool IsExpanded(int64_t AID) const;
  void SetExpanded(int64_t AID, bool AExpanded);
  // Whether the node has children and shows none of them.
  bool IsCollapsed(int64_t AID) const;
  // The node whose row shows the node: itself, or the collapsed branch it is hidden in.
  int64_t ShownAt(int64_t AID) const;
  // The node and, when its row is collapsed, every node hidden below it.
  template <class F>
  void ForEachShownBy(int64_t AID, F&& AVisit) const;

  // Keeps what the map's summaries roll up to for as long as it lives: a view holds it while it
  // paints, so that its rows and symbols roll each summary up once. Nothing may change the map
  // meanwhile.
  class TRollUpHold {
   public:
    explicit TRollUpHold(const TDesktopItemModel& AModel);
    ~TRollUpHold();
    TRollUpHold(const TRollUpHold&) = delete;
    TRollUpHold& operator=(const TRollUpHold&) = delete;

   private:
    ComPtr<IActionTable> FTable;
    INode* FRoot = nullptr;  // not counted: the model's map outlives the paint
  };
  TRollUpHold HoldRollUps() const { return TRollUpHold(*this); }

  // The node's bar: empty without a dated action.
  std::optional<TDesktopBar> Bar(int64_t AID) const;
  // What the tree and the strip show when the mouse rests on the node's row or bar: the plug-in's
  // tooltip of the action, then the task's conflicts.
  QString ToolTip(int64_t AID) const;
  // The conflicts the strip marks and the tooltips name (the schedule's as they stand).
  void SetConflicts(const std::vector<TScheduleConflict>& AConflicts);
  // The node's predecessor links.
  std::vector<TTaskLinkInfo> Predecessors(int64_t AID) const;
  // The task's slack, worked out for the whole map on the first question after a change; empty
  // for a node that is no dated task.
  std::optional<TTaskSlack> Slack(int64_t AID) const;
  // The first start and the last finish of the map's tasks; (0, 0) without tasks. Worked out on the
  // first question after a change: the strip asks on every resize.
  std::pair<double, double> TaskSpan() const;
  // The map's working calendar (non-working days are shaded).
  TMapCalendar Calendar() const;
  bool Scheduling() const;

  // Gives the node's field a typed value as one undo step: dates as QDate (invalid clears), Complete
  // as int, Duration and Work as TDesktopQuantity, their measures as int (TActionMeasure), Cost as
  // double, Status and Priority as text. A refused edit is shown and answers false.
  bool EditField(int64_t AID, TActionField AField, const QVariant& AValue);
  // Moves a task by ADays, or (AFinishOnly) its finish alone, as one undo step.
  void ShiftTask(int64_t AID, double ADays, bool AFinishOnly);

 private:
  struct TRow {
    int64_t ID;
    int Depth;
    friend bool operator==(const TRow&, const TRow&) = default;
  };
  // The expanded part of the subtree below ANode (not ANode), in pre-order, starting at ADepth.
  void AppendShown(TLumetaNode* ANode, int ADepth, std::vector<TRow>& ARows) const;
  void IndexRows();
  // Every step of the document may change any text: the rows read afresh.
  void UndoStateChanged(const TUndoState&) override { Forget(); }
  void Forget() const {
    FCache.clear();
    FTaskSpan.reset();
    FCriticalPath.reset();
    FNoCriticalPath = false;
  }
  // A shown row's texts and bar, read from its record in one go: a paint of the tree and the
  // strip asks for each of them more than once. A row read reads the rows after it along, so that
  // the plug-in rolls each summary among them up once for all of them.
  struct TRowCache {
    QString Texts[dcCount];
    std::optional<TDesktopBar> Bar;
  };
  const TRowCache& Cached(int64_t AID) const;
  // AShown: what the row's action shows, summaries rolled up; its own getters answer without.
  QString ReadText(int64_t AID, int AColumn, const TShownAction& AShown) const;
  std::optional<TDesktopBar> ReadBar(int64_t AID, const TShownAction& AShown) const;
  // TaskSpan afresh: the dates alone, without what else a bar shows (slack, conflicts, baseline).
  std::pair<double, double> ReadTaskSpan() const;
  // EditField without the message: raises what refuses the edit.
  void RunFieldEdit(int64_t AID, TActionField AField, const QVariant& AValue);
  // Makes the node's predecessors the typed list as one undo step; raises what refuses it.
  void ChangePredecessors(int64_t AID, const std::string& AText);

  TMapDocument* FDocument = nullptr;
  std::unique_ptr<TActionEditor> FEditor;
  std::vector<TRow> FRows;
  std::unordered_map<int64_t, int> FRowOf;
  mutable std::unordered_map<int64_t, TRowCache> FCache;
  std::unordered_map<int64_t, QString> FConflicts;  // by task ID, one line each
  mutable std::optional<std::pair<double, double>> FTaskSpan;
  mutable std::optional<TCriticalPath> FCriticalPath;
  mutable bool FNoCriticalPath = false;  // the map has no calendar to measure slack in
};

template <class F>
void TDesktopItemModel::ForEachShownBy(int64_t AID, F&& AVisit) const {
  TLumetaNode* node = Node(AID);
  if (!node) return;
  AVisit(node);
  if (!IsCollapsed(AID)) return;
  // Without recursion: a collapsed branch may be deep.
  std::vector<TLumetaNode*> stack;
  for (const auto& child : node->Children()) stack.push_back(child.get());
  while (!stack.empty()) {
    TLumetaNode* hidden = stack.back();
    stack.pop_back();
    AVisit(hidden);
    for (const auto& child : hidden->Children()) stack.push_back(child.get());
  }
}
