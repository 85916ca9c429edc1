#pragma once
// The reference host's model of one open map, as commands and the plug-in reach it: its tree, its
// registry of property classes, its command processor and command helpers, and its subject.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "com/AggregableObject.h"
#include "contract/ExportIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/PlugInUIIntf.h"
#include "host/LumetaCommandProcessor.h"
#include "host/LumetaMap.h"
#include "commands/Subject.h"

// Owns its map and its processor; answers ISubject through an aggregated TSubject, so observers are
// told about the model itself. Commands on the undo and redo steps hold the model's subject and
// tree, and so the model: call Close when the map is closed, or neither is ever freed.
class TLumetaModel
    : public TImplements<TAggregableObject, ILumetaModel, ITree, IPropertyClasses, ICommandHelper, ICurrentSelection,
                             IMapIdentity, IMapTimeZone> {
 public:
  TLumetaModel();
  ~TLumetaModel() override;

  // ISubject first: observers ask for it on every change a run posts, and the table would compare
  // five GUIDs before handing the question to the subject.
  HRESULT QueryInterface(const GUID& AIid, void** AObject) noexcept override;

  // ILumetaModel: the model itself answers ITree, IPropertyClasses and ICommandHelper.
  ComPtr<ICommandProcessor> GetCommandProcessor() override;
  ComPtr<IPropertyClasses> GetPropertyClasses() override;
  ComPtr<ITree> GetTree() override;
  ComPtr<ICommandHelper> GetCommandHelper() override;

  // ITree. FindNode takes the decimal ID text ("0" is the root); other text finds nothing.
  ComPtr<INode> GetRoot() override;
  ComPtr<INode> FindNode(const std::string& AID) override;

  // IPropertyClasses
  ComPtr<IProperty> NewProperty(const std::string& AClassName) override;
  ComPtr<IPropertyManager> FindManager(const std::string& AClassName) override;
  int32_t GetClassCount() override;
  std::string GetClassName(int32_t AIndex) override;

  // ICommandHelper, reporting to this model's subject.
  ComPtr<ICommand> PreparePropertyCommand(IProperty* AProperty, ISelection* ASelection, int32_t AnOperation) override;
  ComPtr<ICommand> PrepareRemovePropertiesCommand(const std::vector<std::string>& ANames, ISelection* ASelection,
                                                  int32_t AnOperation) override;
  ComPtr<ICommand> CombineCommands(const TInterfaceList<ICommandListItem>& AItems) override;

  // IMapIdentity
  std::string GetMapIdentity(bool ACreate) override;
  void SetMapIdentity(const std::string& AIdentity) override;
  // The identity a map without one takes when it is first asked for one (empty: a new random
  // one), so that a map's file can name the same identity in every session until it keeps one.
  void SetIdentityToCreate(std::string AIdentity) { FIdentityToCreate = std::move(AIdentity); }
  // IMapTimeZone
  std::string GetMapTimeZone() override;

  // ICurrentSelection. The selection is kept by node ID, so a node that leaves the map (deleted,
  // or its addition undone) drops out of it and is back when it returns.
  ComPtr<ISelection> GetCurrentSelection() override;
  void SetCurrentSelection(ISelection* ASelection) override;
  // The IDs of the selected nodes still in the map, first selected first.
  std::vector<int64_t> SelectedIDs() const;
  // The same with IDs; raises ELumetaError "No node with ID n" for a node not in the map.
  void SetSelectedIDs(const std::vector<int64_t>& AIDs);

  // Registers the manager under its class description (GetDescription), replacing a manager of
  // the same class. The registry counts its managers until Close.
  void RegisterManager(IPropertyManager* AManager);
  // The UI controllers of the registered managers that offer one (IPropertyPlugin's
  // CreatePlugInUI), in registration order: made once, on first need, and kept until Close or
  // until another manager registers.
  const std::vector<ComPtr<IUnknown>>& Controllers();
  // The controller answering IActionPlugInUI whose GetName is AName; empty when none does.
  ComPtr<IActionPlugInUI> FindPlugInUI(const std::string& AName);
  // Tells every controller that answers IActionPlugInEvents about the event, in order, and
  // answers false as soon as one refuses it (those after it are not told). Raises what a
  // controller raises.
  bool HandleEvent(IPlugInEvent* AEvent);
  // Ends the model's use: drops the undo and redo steps, the controllers, the map and the
  // registry, so that the model and the plug-in's objects can be freed (do it before unloading
  // the plug-in). Raises EInvalidOperation while a command runs.
  void Close();

  TLumetaMap& Map() noexcept { return *FMap; }
  TLumetaCommandProcessor* Processor() const noexcept { return FProcessor.get(); }
  TSubject* Subject() const noexcept { return FSubject.get(); }

 protected:
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override;

 private:
  std::unique_ptr<TLumetaMap> FMap;
  std::string FIdentityToCreate;
  std::unique_ptr<TSubject> FSubject;  // aggregated: its controller is this model
  ComPtr<TLumetaCommandProcessor> FProcessor;
  std::vector<std::pair<std::string, ComPtr<IPropertyManager>>> FManagers;  // in registration order
  std::vector<ComPtr<IUnknown>> FControllers;
  bool FControllersMade = false;
  std::vector<int64_t> FSelection;
};
