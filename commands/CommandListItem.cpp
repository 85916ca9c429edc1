#include "commands/CommandListItem.h"

TCommandListItem::TCommandListItem(ICommand* ACommand, ISelection* ASelection)
    : FCommand(ACommand), FSelection(ASelection) {}

TCommandListItem::~TCommandListItem() = default;

ComPtr<ICommand> TCommandListItem::GetCommand() { return FCommand; }

ComPtr<ISelection> TCommandListItem::GetSelection() { return FSelection; }

void TCommandListItem::SetCommand(ICommand* ACommand) { FCommand = ACommand; }

void TCommandListItem::SetSelection(ISelection* ASelection) { FSelection = ASelection; }
