#pragma once
// What a front end asks the Action plug-in's controller beside its command entries, so that the
// command line, the desktop and the plug-in's own windows apply one set of rules. The controller
// answers these besides IActionPlugInUI. Operations in slot order.
#include <cstdint>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaTypes.h"
#include "contract/PlugInUIIntf.h"

struct IActionEditRules : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("F1397C97-C95C-41E3-A055-8DCBF1EDA121");
  // The date ADate becomes when typed into action field AField (a TActionField) of ANode: a day
  // typed alone (AHasTimeOfDay false) keeps the field's time of day, or takes the working day's
  // start or end as fits the field; while the map schedules, a start or finish moves into working
  // time. 0 stays 0.
  virtual double TypedDate(INode* ANode, int32_t AField, double ADate, bool AHasTimeOfDay) = 0;
  // Why the entry the interactor names is disabled for its selection (which node, which
  // condition); empty when the entry is enabled.
  virtual std::string DisabledReason(IStandardInteractor* AInteractor) = 0;
};

// What a node's action shows where a table lists it: a summary task's rolled-up values while its
// map schedules tasks, else the record's own. The due date and priority never roll up.
struct TShownAction {
  bool HasAction = false;  // false: the node carries no action, and the rest is empty
  double Start = 0;
  double Finish = 0;
  double Duration = 0;
  int32_t DurationMeasure = 0;
  int32_t Complete = 0;
  std::string Status;
  double Due = 0;
  std::string Priority;
  // The record's own constraint, which a summary keeps too: a table's slack reads it from here.
  // Its type is read only with a date (above 0), without which it binds nothing.
  TTaskConstraintType ConstraintType = tcAsSoonAsPossible;
  double ConstraintDate = 0;
};

// The values a table of many nodes shows, asked at once: each summary is rolled up once for the
// whole call, so a table of a tree of any depth costs time linear in its nodes.
struct IActionTable : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("5D2B7E1A-93C4-4F68-A0B1-6E8C2D4F7A35");
  // One value per node of ANodes, in their order. Nothing may change the map during the call.
  // ARecords is empty, or holds each node's "Action" property (null: none), not counted: a host
  // walking its own nodes finds them for less than a look-up by name costs. ADepths is empty, or
  // holds each node's depth when ANodes are whole branches in pre-order (no node null, every child
  // listed after its parent): the table then learns the tree's shape from the list alone.
  virtual std::vector<TShownAction> ShownActions(const std::vector<INode*>& ANodes,
                                                 const std::vector<IProperty*>& ARecords,
                                                 const std::vector<int32_t>& ADepths) = 0;
  // From HoldRollUps to ReleaseRollUps every summary of the map whose root is ARoot rolls up once,
  // however often its rows and symbols are read: a view holds them while it paints. Nothing may
  // change the map meanwhile. Holds of one map nest.
  virtual void HoldRollUps(INode* ARoot) = 0;
  virtual void ReleaseRollUps(INode* ARoot) = 0;
};

// One change of the task link from a predecessor to a successor.
enum TTaskLinkChange : int32_t { lcAdd, lcRemove, lcRetype };

// What a link edit comes to: the command that makes it (nothing runs it yet), or, when refused,
// no command and the reason. Warned tells that the plug-in has shown its warning already.
struct TLinkEditAnswer {
  ComPtr<ICommand> Command;
  std::string Refusal;
  bool Warned = false;
};

// Task links as a front end edits and shows them, under the plug-in's link rules.
struct ITaskLinkEditor : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("17354A49-D422-470A-98BA-F32DDED3301E");
  // Adds the link of type AType, removes the link, or gives it type AType. The command reschedules
  // exactly while the map schedules tasks. A link the rules refuse shows their warning through the
  // dialog service; a link that is there already (add) or missing (remove, retype) is refused.
  virtual TLinkEditAnswer PrepareLinkChange(ILumetaModel* AModel, TTaskLinkChange AChange, INode* APredecessor,
                                            INode* ASuccessor, TTaskLinkType AType) = 0;
  // A predecessor typed into a predecessors column or grid: a task number with an optional type
  // code in any case ("12", "7ss"); false when the text is none.
  virtual bool ParsePredecessor(const std::string& AText, int64_t& ANumber, TTaskLinkType& AType) = 0;
  // Shows the warning for a typed predecessor that names no task, or (ATwice) one typed twice
  // with two types.
  virtual void ShowPredecessorWarning(bool ATwice) = 0;
  // After a tree change put ANode under new summary tasks: the warning for a link of those that
  // now leads in a circle, else empty.
  virtual std::string LinkCircleAbove(INode* ANode) = 0;
  // The warning for links of the map (of ARoot) that lead in a circle, else empty.
  virtual std::string LinkCircleInMap(INode* ARoot) = 0;
  // The command that places every task of the map again from the schedule start.
  virtual ComPtr<ICommand> PrepareRefresh(ILumetaModel* AModel) = 0;
};
