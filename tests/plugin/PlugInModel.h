#pragma once
// A map on a model that knows the plug-in's property classes, with the default working calendar
// and a schedule that starts on Monday 2 March 2026 at 08:00, for the task link, reschedule and
// task command tests: tasks are found by their titles.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "com/OleDate.h"
#include "contract/InteractionIntf.h"
#include "host/LumetaModel.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/RescheduleCommands.h"
#include "tests/support/CalendarScheduler.h"
#include "tests/support/ChangeRecorder.h"
#include "tests/support/FactoryScope.h"
#include "tests/support/LoadedProperty.h"

namespace plugin_test {

// Monday 2 March 2026 at the given hour, and the days after it.
inline double Day(int ADay, double AHour = 8) { return EncodeDate(2026, 3, 1 + ADay) + AHour / 24; }
inline const double Monday = Day(1), Tuesday = Day(2), Wednesday = Day(3), Thursday = Day(4), Friday = Day(5);
inline double EndOf(double ADay) { return std::trunc(ADay) + 17.0 / 24; }

// A pending interaction of the host: its kind code and the nodes it carries.
class TInteraction : public TImplements<TAggregableObject, IInteraction> {
 public:
  explicit TInteraction(int32_t AKind, ComPtr<INodeList> ANodes = nullptr) : FKind(AKind), FNodes(std::move(ANodes)) {}
  int32_t GetKind() override { return FKind; }
  ComPtr<INodeList> GetNodes() override { return FNodes; }

 private:
  int32_t FKind;
  ComPtr<INodeList> FNodes;
};

class TPlugInModel : public testing::Test {
 protected:
  void SetUp() override {
    Model = make<TLumetaModel>();
    Model->RegisterManager(make<TActionPropertyManager>().get());
    Model->RegisterManager(make<TLumetaNodeLinksPropertyManager>().get());
    Model->RegisterManager(make<TLumetaSuccessorLinksPropertyManager>().get());
    InstallCalendarScheduler(Model->Map(), Monday);
    Log = make<TChangeRecorder>();
    Model->Subject()->Attach(Log.get());
  }
  void TearDown() override {
    Model->Subject()->Detach(Log.get());
    Model->Close();
  }

  // A node titled ATitle under the node titled AParent ("" for a main branch).
  INode* Add(const std::string& ATitle, const std::string& AParent = "") {
    TLumetaNode* node = Model->Map().AddNode(AParent.empty() ? Model->Map().Root() : Nodes.at(AParent), ATitle);
    Nodes[ATitle] = node;
    return node;
  }
  // A node with an action of ADays days from AStart, as soon as possible; without a start, a node
  // without action (a summary's dates roll up).
  INode* Task(const std::string& ATitle, double AStart, double ADays = 1, const std::string& AParent = "") {
    INode* node = Add(ATitle, AParent);
    if (AStart == 0) return node;
    ComPtr<IProperty> property = NewLoadedProperty(*Model, "Action");
    ComPtr<IActionAttribute> action = property.as<IActionAttribute>();
    action->SetStartDate(AStart);
    action->SetCompletedDate(Model->Map().Settings() ? Scheduler()->FinishForStart(AStart, ADays) : 0);
    action->SetDuration(ADays);
    action->SetDurationMeasure(amDays);
    action->SetConstraintType(tcAsSoonAsPossible);
    node->SetProperty(property.get());
    return node;
  }
  IWorkingScheduler* Scheduler() { return FindWorkingScheduler(Model->Map().Root()).get(); }
  INodeLinkList2* Links(INode* ANode, const char* AName) {
    // The node holds the property, so the list outlives the returned reference.
    return LoadedPropertyOf<INodeLinkList2>(*Model, ANode, AName).get();
  }
  // APredecessor comes before ASuccessor: stored on both, as the link commands store it.
  void Link(const std::string& APredecessor, const std::string& ASuccessor, TTaskLinkType AType = ltFinishToStart) {
    Links(N(APredecessor), "SuccessorNodeLinks")->AddLink(N(ASuccessor)).as<ITaskLink>()->SetLinkType(AType);
    Links(N(ASuccessor), "NodeLinks")->AddLink(N(APredecessor)).as<ITaskLink>()->SetLinkType(AType);
  }
  INode* N(const std::string& ATitle) { return Nodes.at(ATitle); }
  IActionAttribute* A(const std::string& ATitle) {
    return QueryAs<IActionAttribute>(N(ATitle)->FindProperty("Action").get()).get();
  }
  double Start(const std::string& ATitle) { return A(ATitle)->GetStartDate(); }
  double Finish(const std::string& ATitle) { return A(ATitle)->GetCompletedDate(); }

  // Runs the command as one undo step.
  void Run(ICommand* ACommand, INode* ANode) { Model->GetCommandProcessor()->Execute(ACommand, NodeSelection(ANode).get()); }
  ComPtr<TMoveTaskCommand> Move(const std::string& ATitle, double AStart, bool ASkipConstraint = true) {
    return make<TMoveTaskCommand>(Model.get(), N(ATitle), AStart, TTaskSwitches{true, ASkipConstraint, true, true});
  }
  void Undo() { Model->GetCommandProcessor()->UndoLast(); }
  void Redo() { Model->GetCommandProcessor()->Redo(); }

  TFactoryScope FFactory{&RegisterPlugInAttributeClasses};
  ComPtr<TLumetaModel> Model;
  ComPtr<TChangeRecorder> Log;
  std::map<std::string, TLumetaNode*> Nodes;
};

}  // namespace plugin_test
