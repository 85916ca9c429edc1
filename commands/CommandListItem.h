#pragma once
// One (command, selection) pair, as a multiple command keeps its items.
#include "com/AggregableObject.h"
#include "contract/CommandIntf.h"

// A plain holder: both references are counted and the setters replace them.
class TCommandListItem : public TImplements<TAggregableObject, ICommandListItem> {
 public:
  explicit TCommandListItem(ICommand* ACommand = nullptr, ISelection* ASelection = nullptr);
  ~TCommandListItem() override;

  ComPtr<ICommand> GetCommand() override;
  ComPtr<ISelection> GetSelection() override;
  void SetCommand(ICommand* ACommand) override;
  void SetSelection(ISelection* ASelection) override;

 private:
  ComPtr<ICommand> FCommand;
  ComPtr<ISelection> FSelection;
};
