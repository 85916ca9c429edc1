#pragma once
// Undoable commands as the host's command processor runs them, and the parts they are built from.
// Operations in slot order.
#include <cstdint>
#include <string>

#include "com/ComPtr.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaSelectionIntf.h"
#include "contract/SubjectIntf.h"

// The map's tree as commands see it: they keep node identifiers and look the nodes up on each run.
struct ITree : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("97E9AC0B-196E-4852-841E-51589D865D6D");
  virtual ComPtr<INode> GetRoot() = 0;
  // Empty when no node of the map has that identifier (also for a deleted node).
  virtual ComPtr<INode> FindNode(const std::string& AID) = 0;
};

struct ICommand : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("93D6D1A3-90F2-48AB-A8CC-D3E07B53C329");
  // Where the command reports its changes; may be empty.
  virtual ComPtr<ISubject> GetSubject() = 0;
  virtual std::string GetDescription() = 0;
  // A new selection of the stored nodes that still exist, in stored order.
  virtual ComPtr<ISelection> GetState() = 0;
  // The node whose change is the most recent one still to be undone; empty when none is.
  virtual ComPtr<INode> GetUndoNode() = 0;
  virtual void Execute() = 0;
  // Keeps the selection as node identifiers; an empty selection clears them.
  virtual void SetState(ISelection* ASelection) = 0;
  virtual void UnExecute() = 0;
};

struct ITreeCommand : virtual ICommand {
  static constexpr GUID Iid = MakeGuid("695FC2C3-C3F5-4872-814C-0C44D7E1C1B2");
  virtual ComPtr<ITree> GetTree() = 0;
};

// A command that the processor runs node by node.
struct INodeExecute : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("05CDF62D-DE8D-4320-9195-68AE09878226");
  virtual void ExecuteOnNode(INode* ANode) = 0;
};

// A command that the processor undoes node by node, each time on the node GetUndoNode names.
struct INodeUnExecute : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("7994A5E1-5F7F-4D0D-9FFB-9B3C59C733D4");
  virtual void UnExecuteOnNode(INode* ANode) = 0;
};

// What one node held under one property name before a command changed it.
struct IPropertyMemento : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("6DBE7DC2-0E2F-44AB-9769-68EA3A521EC0");
  // The property's name.
  virtual std::string GetDescription() = 0;
  // A copy of the node's property as it was; empty when the node did not have it.
  virtual ComPtr<IProperty> GetPropertyMemento() = 0;
  virtual void SetDescription(const std::string& ADescription) = 0;
  virtual void SetPropertyMemento(IProperty* AProperty) = 0;
};

struct IPropertiesCommand : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("97172F7A-2718-4FD7-BC66-9082C2C6C374");
  virtual ComPtr<IProperties> GetProperties() = 0;
  virtual void SetProperties(IProperties* AProperties) = 0;
};

// Marks the memento-based property commands (adding or removing properties), whatever they put on
// the nodes.
struct IBasePropertiesCommand : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("8909A40C-6898-4F9B-AF00-3733574FD9BD");
};

// One (command, selection) pair of a multiple command.
struct ICommandListItem : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("8D207604-62AD-4A30-AF02-833CC9604727");
  virtual ComPtr<ICommand> GetCommand() = 0;
  virtual ComPtr<ISelection> GetSelection() = 0;
  virtual void SetCommand(ICommand* ACommand) = 0;
  virtual void SetSelection(ISelection* ASelection) = 0;
};
