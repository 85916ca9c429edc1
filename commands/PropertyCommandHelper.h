#pragma once
// Builds the commands that put properties on nodes, remove them, or run several commands as one.
// Nothing here runs a command: callers hand it to the model's command processor with a selection.
#include <cstdint>
#include <string>
#include <vector>

#include "com/InterfaceList.h"
#include "contract/LumetaCommandsIntf.h"

class TPropertyCommandHelper {
 public:
  TPropertyCommandHelper() = delete;

  // A properties command holding a one-element list with AProperty, reporting to the model's
  // subject; AnOperation -1 reports 11. ASelection is not used: the processor gets it with the
  // command. Raises ENoInterface when the model does not answer ISubject.
  static ComPtr<ICommand> PreparePropertyCommand(IProperty* AProperty, ISelection* ASelection, ILumetaModel* AModel,
                                                 int32_t AnOperation);
  // As above with every property of AProperties, in order.
  static ComPtr<ICommand> PreparePropertyCommand(IProperties* AProperties, ISelection* ASelection, ILumetaModel* AModel,
                                                 int32_t AnOperation);
  // As the first, reporting to ASubject (which may be empty) instead of the model's subject.
  static ComPtr<ICommand> PreparePropertyCommand(IProperty* AProperty, ILumetaModel* AModel, ISubject* ASubject,
                                                 int32_t AnOperation);

  // A command removing the properties of those names from each node, undone by putting them back.
  static ComPtr<ICommand> PrepareRemovePropertiesCommand(const std::vector<std::string>& ANames, ILumetaModel* AModel,
                                                         int32_t AnOperation);
  // A multiple command holding the items (each a command and its selection), in order.
  static ComPtr<ICommand> CombineCommands(const TInterfaceList<ICommandListItem>& AItems, ILumetaModel* AModel);
};
