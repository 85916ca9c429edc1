#pragma once
// Commands that run other commands through the model's command processor.
#include <cstdint>
#include <string>
#include <vector>

#include "com/InterfaceList.h"
#include "contract/LumetaCommandsIntf.h"
#include "com/ComObject.h"

// Holds no undo state of its own: its sub-commands and the processor do. The model and its
// processor are not counted (the model owns the processor, whose undo steps own the commands), so
// the model must outlive the command. Every concrete composite overrides Execute and UnExecute.
class TCompositeCommand : public TImplements<TComObject, ICommand, ICompositeCommand> {
 public:
  // Raises EInvalidOperation without a model.
  explicit TCompositeCommand(ILumetaModel* AModel);
  // With the model's processor already in hand (not counted), sparing the question.
  TCompositeCommand(ILumetaModel* AModel, ICommandProcessor* AProcessor);
  ~TCompositeCommand() override;

  // The model's subject.
  ComPtr<ISubject> GetSubject() override;
  // Always empty.
  std::string GetDescription() final;
  // Looked up in the model's tree.
  ComPtr<ISelection> GetState() override;
  // Raises EInvalidOperation "Method not implemented.".
  ComPtr<INode> GetUndoNode() override;
  void Execute() override = 0;
  void SetState(ISelection* ASelection) override;
  void UnExecute() override = 0;
  ComPtr<ICommandProcessor> GetCommandProcessor() override;
  ComPtr<ILumetaModel> GetModel() override;

 protected:
  // Raises EInvalidOperation when the model has no processor.
  ICommandProcessor* CommandProcessor() const;
  ILumetaModel* Model() const noexcept { return FModel; }
  const std::vector<std::string>& StateIDs() const noexcept { return FState; }

 private:
  ICommandProcessor* FCommandProcessor;
  ILumetaModel* FModel;
  std::vector<std::string> FState;
};

// Runs its items first to last, each through the processor on the item's own selection; undoes
// them last to first. The items hold their commands and selections counted.
class TMultipleCommand : public TImplements<TCompositeCommand, IMultipleCommand> {
 public:
  explicit TMultipleCommand(ILumetaModel* AModel);
  ~TMultipleCommand() override;

  void Execute() override;
  void UnExecute() override;
  // Raises EInvalidOperation for an empty command; the selection may be empty.
  void AddCommand(ICommand* ACommand, ISelection* ASelection) override;
  bool FindCommand(const GUID& AIid, void** AIntf) override;
  TInterfaceList<ICommandListItem> GetCommandList() override;
  void SetCommandList(const TInterfaceList<ICommandListItem>& AList) override;

  int32_t Count() const noexcept { return FCommandList.Count(); }

 private:
  TInterfaceList<ICommandListItem> FCommandList;
};
