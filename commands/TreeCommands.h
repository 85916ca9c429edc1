#pragma once
// Commands that the host's command processor applies node by node over a selection and undoes
// node by node, newest first.
#include <cstdint>
#include <string>
#include <vector>

#include "com/InterfaceList.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/CommandIntf.h"
#include "com/ComObject.h"

// The identifiers of the selection's nodes, in selection order; raises ENoInterface for an entry
// that is not a node. An empty selection gives none.
std::vector<std::string> NodeIDsOfSelection(ISelection* ASelection);
// A new selection of the nodes that the tree still has under those identifiers, in that order.
ComPtr<ISelection> SelectionFromNodeIDs(ITree* ATree, const std::vector<std::string>& AIDs);

// Keeps its selection and the nodes it changed as identifiers, so that it survives the nodes being
// deleted and restored by other commands. Execute and UnExecute raise EInvalidOperation "Method not
// implemented.": the processor runs tree commands through INodeExecute and INodeUnExecute.
class TTreeCommand : public TImplements<TComObject, ICommand, ITreeCommand> {
 public:
  // Both are counted; ASubject may be empty (no change is reported).
  TTreeCommand(ITree* ATree, ISubject* ASubject);
  ~TTreeCommand() override;

  ComPtr<ISubject> GetSubject() override;
  // Empty.
  std::string GetDescription() override;
  ComPtr<ITree> GetTree() override;
  ComPtr<ISelection> GetState() override;
  // Empty before the first ExecuteOnNode and after the last undo; also when the node on top is no
  // longer in the tree.
  ComPtr<INode> GetUndoNode() override;
  void Execute() override;
  void SetState(ISelection* ASelection) override;
  void UnExecute() override;

 protected:
  ITree* Tree() const noexcept { return FTree.get(); }
  ISubject* Subject() const noexcept { return FSubject.get(); }
  // The stack of changed nodes, the newest last.
  const std::vector<std::string>& Paths() const noexcept { return FPaths; }
  void PushPath(const std::string& AID) { FPaths.push_back(AID); }
  void PopPath();
  const std::vector<std::string>& StateIDs() const noexcept { return FState; }

 private:
  ComPtr<ITree> FTree;
  std::vector<std::string> FPaths;
  std::vector<std::string> FState;
  ComPtr<ISubject> FSubject;
};

// Changes named properties of each node and keeps, per node, mementos of what the node held under
// those names, so that undo restores each node exactly: a property that was absent is removed
// again, one that was present comes back with its old values. Each executed node pushes one
// (identifier, memento list) pair; each undone node pops one.
class TBasePropertiesCommand
    : public TImplements<TTreeCommand, INodeUnExecute, INodeExecute, IBasePropertiesCommand> {
 public:
  // APropertyClasses is not counted: the model that owns it outlives its commands. AnOperation is
  // the change code reported for each node; -1 stands for 11.
  TBasePropertiesCommand(ITree* ATree, ISubject* ASubject, IPropertyClasses* APropertyClasses, int32_t AnOperation);
  ~TBasePropertiesCommand() override;

  // The properties put on each node; may be empty in commands that put none.
  virtual ComPtr<IProperties> GetProperties() = 0;
  // One memento per changed name, in order, each holding what PropertyToKeep gives for the node's
  // property of that name (the last one when the node has several), or nothing when the node lacks it.
  virtual TInterfaceList<IPropertyMemento> CreateMementos(INode* ANode);
  // Restores the node from the newest memento list and pops it; raises EInvalidOperation when
  // nothing is left to undo. With LUMETA_DEBUG set in the environment, writes "Undo Item  <id>"
  // and "Memento Count <n>" to standard error first.
  void UnExecuteOnNode(INode* ANode) override;
  // Captures mementos, changes the node, reports the change, then pushes the node. A failure
  // while changing or reporting restores the node first, so a failed node is left as it was.
  void ExecuteOnNode(INode* ANode) override;

  int32_t GetOperation() const noexcept { return FOperation; }
  int32_t MementoCount() const noexcept { return static_cast<int32_t>(FPropertiesMemento.size()); }

 protected:
  // The property names this command changes: those of GetProperties, in list order.
  virtual std::vector<std::string> ChangedPropertyNames();
  // Puts the properties of GetProperties on the node. Each node gets a new object: a copy of its
  // current property of that name (or a new one when it has none) with the command's property
  // applied to it. A property object has one host node, and the command's own objects must stay
  // unchanged for the other nodes and for redo; applying (rather than assigning) lets only the
  // edited, unmixed fields reach each node, so one edit of several nodes keeps their other fields.
  virtual void ChangeNode(INode* ANode);
  // A new property of that class from the registry, holding a copy of ASource's values; without a
  // source, a new property marked loaded (it has nothing to fetch from the document).
  ComPtr<IProperty> CopyProperty(const std::string& AClassName, IProperty* ASource);
  // What a memento keeps of a property the node holds. Here the property itself: ChangeNode puts a
  // new object in its place and leaves it as it was, having read it whole to copy it, so undo can
  // put that very object back without a copy being made. A command whose ChangeNode changes the
  // node's objects in place, or drops them unread, keeps a copy (CopyProperty) instead.
  virtual ComPtr<IProperty> PropertyToKeep(const std::string& AName, IProperty* AProperty);
  // Puts back what the mementos saved.
  void RestoreNode(INode* ANode, const TInterfaceList<IPropertyMemento>& AMementos);
  void ReportChange(INode* ANode);
  IPropertyClasses* PropertyClasses() const noexcept { return FPropertyClasses; }

 private:
  int32_t FOperation;
  IPropertyClasses* FPropertyClasses;
  std::vector<TInterfaceList<IPropertyMemento>> FPropertiesMemento;  // parallel to Paths()
};

// Puts a list of properties on each node.
class TPropertiesCommand : public TImplements<TBasePropertiesCommand, IPropertiesCommand> {
 public:
  using TImplements::TImplements;
  ~TPropertiesCommand() override;

  ComPtr<IProperties> GetProperties() override;
  // Counted. The list's properties are copied onto the nodes, never attached themselves.
  void SetProperties(IProperties* AProperties) override;

 private:
  ComPtr<IProperties> FProperties;
};

// Removes the properties of the given names from each node (a node without one is left alone);
// undo puts them back as they were.
class TRemovePropertiesCommand : public TBasePropertiesCommand {
 public:
  TRemovePropertiesCommand(ITree* ATree, ISubject* ASubject, IPropertyClasses* APropertyClasses,
                           std::vector<std::string> ANames, int32_t AnOperation);
  ~TRemovePropertiesCommand() override;

  // Empty: this command puts no property on the nodes.
  ComPtr<IProperties> GetProperties() override;
  const std::vector<std::string>& Names() const noexcept { return FNames; }

 protected:
  std::vector<std::string> ChangedPropertyNames() override;
  void ChangeNode(INode* ANode) override;
  // A copy: a property removed unread would have nothing to load its values from once off the node.
  ComPtr<IProperty> PropertyToKeep(const std::string& AName, IProperty* AProperty) override;

 private:
  std::vector<std::string> FNames;
};
