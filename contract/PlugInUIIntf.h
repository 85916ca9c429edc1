#pragma once
// How the host's menus, action columns and map events reach a plug-in's controller: the command
// entry with the edited value, the controller's two interfaces, and the events it is told about.
// Operations in slot order.
#include <cstdint>
#include <string>

#include "contract/InteractionIntf.h"
#include "contract/LumetaCommandsIntf.h"

// One command entry of the host (a menu item, a ribbon button, an action column's cell). The host
// owns its caption and place; the controller only reads its id and sets its state.
struct ICommandEntry : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("4C1B8E52-0D7A-4F4E-9A1B-3E2F6C7D8A90");
  virtual int32_t GetID() = 0;
  virtual bool GetEnabled() = 0;
  virtual void SetEnabled(bool AEnabled) = 0;
  // Only a checkable entry shows a check mark.
  virtual bool GetCheckable() = 0;
  virtual bool GetChecked() = 0;
  virtual void SetChecked(bool AChecked) = 0;
  // False when the entry does not apply to what is selected (the default update leaves it off).
  virtual bool GetApplicable() = 0;
};

// The new value of an edited field. A value answers the interfaces of its type: a date edit
// IDateValue, a number INumberValue (a duration also IMeasureValue), a measure IMeasureValue,
// a text ITextValue, a flag IFlagValue.
struct IDateValue : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("0B7E5A3C-6D21-4C8F-8E3A-5F1D2C4B6A71");
  // An OLE date; 0 clears the date.
  virtual double GetDate() = 0;
  // Whether the date is first checked against the task's links and constraints.
  virtual bool GetValidate() = 0;
  // On: the task stays as soon as possible; off: a typed date becomes the task's constraint.
  virtual bool GetAutoSchedule() = 0;
  // For a finish date: on moves the whole task, keeping its duration.
  virtual bool GetMoveTask() = 0;
};

struct INumberValue : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("7E2C9D14-3A5B-4E6F-8C1D-2B3A4F5E6D82");
  virtual double GetNumber() = 0;
};

// A measure code: 0 hours, 1 days, 2 minutes.
struct IMeasureValue : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("5A9F1E27-8B3C-4D6E-9F2A-1C3B5D7E9F13");
  virtual int32_t GetMeasure() = 0;
};

struct ITextValue : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("9C3D2B18-4E5F-4A6B-8D7C-3E4F5A6B7C24");
  virtual std::string GetText() = 0;
};

struct IFlagValue : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("2D8E4F39-5A6B-4C7D-9E8F-4A5B6C7D8E35");
  virtual bool GetFlag() = 0;
};

// What the host hands the controller with a command: the entry, the edited value (empty for a
// plain command), the document and the current selection.
struct IStandardInteractor : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("6FAE286E-EC28-4EC3-A89B-4C74B2EB83FD");
  virtual ComPtr<ICommandEntry> GetEntry() = 0;
  virtual ComPtr<IUnknown> GetValue() = 0;
  virtual ComPtr<ILumetaModel> GetModel() = 0;
  virtual ComPtr<ISelection> GetSelection() = 0;
};

// A map event the host tells the controller about. Kinds of tree changes are those of
// InteractionIntf.h and come before the change; the others:
inline constexpr int32_t KEventEditAction = 0;     // open the Edit Action dialog on the selection
inline constexpr int32_t KEventDropUnder = 2;      // nodes dropped under the selection's first node
inline constexpr int32_t KEventDemote = 15;        // nodes indented under their previous sibling
inline constexpr int32_t KEventMakeTasks = 27;     // the carried nodes become tasks
inline constexpr int32_t KEventPickValue = 32;     // a value pick list for the named field
inline constexpr int32_t KEventNodesPasted = 58;   // copies carried in are about to be inserted
inline constexpr int32_t KEventNodesDeleted = 59;  // the carried nodes are about to be deleted
inline constexpr int32_t KEventConvertNode = 103;  // the carried node becomes a task
inline constexpr int32_t KEventAddSibling = 129;   // a node is added beside the selection's first node
inline constexpr int32_t KEventAddChild = 130;     // a node is added under the selection's first node
// The host's own kind, told after the change: something task dates depend on changed, so a map
// that schedules places its tasks again. The carried nodes are the tasks whose constraint changed;
// none carried means the working calendar or the schedule start, which concern every task.
inline constexpr int32_t KEventScheduleInputChanged = 1001;

struct IPlugInEvent : virtual IInteraction {
  static constexpr GUID Iid = MakeGuid("A3F1C5D7-2B4E-4F68-9A0C-1D3E5F7A9B46");
  virtual ComPtr<ILumetaModel> GetModel() = 0;
  // The selection the event is about; its first node is the target of a tree change.
  virtual ComPtr<ISelection> GetSelection() = 0;
  // The working scheduler to use, when the event carries one; else empty.
  virtual ComPtr<IUnknown> GetScheduler() = 0;
  // For a pick list: the action field's name, and its value as text.
  virtual std::string GetFieldName() = 0;
  virtual std::string GetFieldValue() = 0;
  virtual void SetFieldValue(const std::string& AValue) = 0;
};

// The second interface of an event: the answer the controller gives (-1 cancels a pick list).
struct IPlugInEventResult : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("C4E2D6F8-3A5B-4C79-8B1D-2E4F6A8C0D57");
  virtual int32_t GetResult() = 0;
  virtual void SetResult(int32_t AResult) = 0;
};

// A panel a plug-in offers the host to dock beside the map (the action panel). The host shows,
// hides, enables and docks it; the panel follows the model and the selection by itself.
struct IPlugInView : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("7D2A4C61-9E3B-4F85-A1C7-3B5D8E0F2A64");
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void SetEnabled(bool AEnabled) = 0;
  virtual void SetReadOnlyMode(bool AReadOnly) = 0;
  // The panel's window (a QWidget*), for the host to dock.
  virtual void* GetHandle() = 0;
  virtual std::string GetName() = 0;     // "ActionSelector"
  virtual std::string GetCaption() = 0;  // "Action"
};

struct IActionPlugInUI : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("59633C8B-F159-4848-A9D6-2409000B83A9");
  // The action list view for the host object; empty while the host has no windows.
  virtual ComPtr<IUnknown> CreateView(IUnknown* AParent) = 0;
  virtual void ExecuteCommand(IStandardInteractor* AInteractor) = 0;
  virtual std::string GetName() = 0;
  virtual int32_t GetQuery2() = 0;
  virtual int32_t GetQuery3() = 0;
  virtual void UpdateCommand(IStandardInteractor* AInteractor) = 0;
};

struct IActionPlugInEvents : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("E9D8878D-4F5C-4912-9CC0-790E1E1DFACC");
  // False refuses the tree change the event announces.
  virtual bool HandleEvent(IPlugInEvent* AEvent) = 0;
  virtual void UpdateDefault(IStandardInteractor* AInteractor) = 0;
};
