#pragma once
// The host model as commands reach it, its command processor, and commands that run other
// commands. Operations in slot order.
#include <cstdint>
#include <string>
#include <vector>

#include "com/InterfaceList.h"
#include "contract/CommandIntf.h"

// Runs commands on selections and owns undo and redo. A command run from inside another command's
// Execute or UnExecute is part of that command: it never becomes an undo step of its own. Errors
// raised by a command reach the caller as ELumetaError, with the map as it was before the command.
struct ICommandProcessor : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("B4844831-4E26-48E5-A165-352F57152F72");
  // Outside any run the command becomes the newest undo step and the redo steps are dropped.
  virtual void Execute(ICommand* ACommand, ISelection* ASelection) = 0;
  // Undoes at once. Outside any run a command that is an undo step stops being one (the newest
  // moves to the redo steps, as UndoLast does).
  virtual void Undo(ICommand* ACommand) = 0;
  // Each does nothing when there is no step; raise EInvalidOperation while a command runs.
  virtual void UndoLast() = 0;
  virtual void Redo() = 0;
  virtual bool CanUndo() = 0;
  virtual bool CanRedo() = 0;
  virtual int32_t GetUndoCount() = 0;
  virtual int32_t GetRedoCount() = 0;
  // The step UndoLast or Redo would take; empty when there is none.
  virtual ComPtr<ICommand> GetUndoCommand() = 0;
  virtual ComPtr<ICommand> GetRedoCommand() = 0;
  // Drops every undo and redo step; raises EInvalidOperation while a command runs.
  virtual void Clear() = 0;
};

// The host's registry of property classes, by class description ("Action").
struct IPropertyClasses : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("5679C086-4FD3-4F3B-98AC-5EE009C87A3B");
  // A new property from the class's manager; raises EClassNotFound for an unknown class.
  virtual ComPtr<IProperty> NewProperty(const std::string& AClassName) = 0;
  // Empty for an unknown class.
  virtual ComPtr<IPropertyManager> FindManager(const std::string& AClassName) = 0;
  virtual int32_t GetClassCount() = 0;
  // Empty outside the registry.
  virtual std::string GetClassName(int32_t AIndex) = 0;
};

// Builds the commands that edits of properties become. The commands are not run: callers hand
// them to the command processor with the selection.
struct ICommandHelper : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("2B04C0C9-7DC4-4A33-B547-5040A6FD7EE6");
  // Puts the property on each node of the selection it is run on; AnOperation -1 reports 11.
  virtual ComPtr<ICommand> PreparePropertyCommand(IProperty* AProperty, ISelection* ASelection, int32_t AnOperation) = 0;
  // Removes the properties of those names from each node it is run on; AnOperation -1 reports 11.
  virtual ComPtr<ICommand> PrepareRemovePropertiesCommand(const std::vector<std::string>& ANames,
                                                          ISelection* ASelection, int32_t AnOperation) = 0;
  // One multiple command running each item's command on the item's selection, in order.
  virtual ComPtr<ICommand> CombineCommands(const TInterfaceList<ICommandListItem>& AItems) = 0;
};

// The host's model of one open map. It also answers ISubject: commands report their changes there.
struct ILumetaModel : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("D2897A2C-40D2-4D01-B807-30BFBEFF849C");
  virtual ComPtr<ICommandProcessor> GetCommandProcessor() = 0;
  virtual ComPtr<IPropertyClasses> GetPropertyClasses() = 0;
  virtual ComPtr<ITree> GetTree() = 0;
  virtual ComPtr<ICommandHelper> GetCommandHelper() = 0;
};

// Kinds of the changes the host's model reports on its subject, each with the object it concerns.
// The plug-in's rescheduling adds 121 and 122 around its work.
inline constexpr int32_t KChangeNodeChanged = 11;       // a node's properties changed, also by undo; the node
inline constexpr int32_t KChangeCurrentSelection = 40;  // the current selection changed; the model

// The nodes the user works on in the model's map. The model answers it and reports each change
// of the selection on its subject (KChangeCurrentSelection).
struct ICurrentSelection : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("8E5B3C1A-7D24-4F96-B0E1-6C2A9F4D3B75");
  // A new selection of the selected nodes still in the map, first selected first.
  virtual ComPtr<ISelection> GetCurrentSelection() = 0;
  // Takes the nodes of ASelection, each once (other entries are ignored; null empties it), and
  // reports the change when they differ from the selected ones.
  virtual void SetCurrentSelection(ISelection* ASelection) = 0;
};

// A command that runs other commands through the model's command processor.
struct ICompositeCommand : virtual ICommand {
  static constexpr GUID Iid = MakeGuid("3315AFEF-9548-4AE6-8431-8D17E6ECD865");
  virtual ComPtr<ICommandProcessor> GetCommandProcessor() = 0;
  virtual ComPtr<ILumetaModel> GetModel() = 0;
};

// Runs its (command, selection) items first to last and undoes them last to first.
struct IMultipleCommand : virtual ICompositeCommand {
  static constexpr GUID Iid = MakeGuid("B4EDE588-B06B-4CCC-9AA4-EA7AC159A581");
  virtual void AddCommand(ICommand* ACommand, ISelection* ASelection) = 0;
  // Leaves in AIntf (counted) the first item's command that answers AIid, or empty; answers
  // whether one did.
  virtual bool FindCommand(const GUID& AIid, void** AIntf) = 0;
  // A copy of the list; the items themselves are shared.
  virtual TInterfaceList<ICommandListItem> GetCommandList() = 0;
  virtual void SetCommandList(const TInterfaceList<ICommandListItem>& AList) = 0;
};
