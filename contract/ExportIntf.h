#pragma once
// What the export of actions shares between its parts: the options the dialog edits and the
// exporter reads, a section of settings that loads and saves itself, the progress a long run
// reports, and the host data of a node that the exported task carries. Operations in slot order.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaSelectionIntf.h"

// Bits of IncludeProperties, in the order the dialog lists them.
enum TExportInclude : int32_t {
  eiNotes = 1,
  eiAttachments = 2,
  eiConnections = 4,
  eiCategories = 8,
  eiStatus = 16,
  eiPriority = 32,
  eiPercentComplete = 64,
  eiStartDate = 128,
  eiDateCompleted = 256,
  eiDueDate = 512,
  eiFullTitlePath = 1024,
};
inline constexpr int32_t KExportIncludeCount = 11;

enum TExportRange : int32_t { erCurrentView = 0, erEntireMap = 1, erSelection = 2 };
enum TActionsToExport : int32_t { aeNewOrUpdated = 0, aeAll = 1 };

// A map's own identity, kept in its file, so that what it exported is known as its own in every
// later run, whatever the map's title or file name.
struct IMapIdentity : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("6C1F3E2A-8D47-4B9E-A5C3-2F71B0D94E68");
  // Letters, digits and '-'; a map without one gets a new one when ACreate (saved with the map).
  virtual std::string GetMapIdentity(bool ACreate) = 0;
  // Gives a map without one the identity an earlier run gave it before the map could be saved.
  virtual void SetMapIdentity(const std::string& AIdentity) = 0;
};

// The zone a map's dates are in: an IANA name ("Europe/Berlin"), empty for floating local times.
struct IMapTimeZone : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("0B7D2C94-61E3-4F0A-9D28-7C5E13A4B6F1");
  virtual std::string GetMapTimeZone() = 0;
};

struct IExportActionsOutlookOptions : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("40EE76D5-18FD-4A59-BA07-1833E0287872");
  virtual int32_t GetActionsToExport() = 0;
  virtual int32_t GetExportRange() = 0;
  virtual bool GetExpandBranches() = 0;
  virtual int32_t GetIncludeProperties() = 0;
  virtual void SetActionsToExport(int32_t AValue) = 0;
  virtual void SetExportRange(int32_t AValue) = 0;
  virtual void SetExpandBranches(bool AValue) = 0;
  virtual void SetIncludeProperties(int32_t AValue) = 0;
};

// A section of settings under a key of the current user's settings.
struct IhvSettings : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("DEFDF10C-20DE-418A-ADD7-3196146FE651");
  virtual std::string GetSectionKey() = 0;
  virtual std::string GetSectionName() = 0;
  // A key that is not there leaves the values as they are.
  virtual void LoadSettings() = 0;
  virtual void SaveSettings() = 0;
  virtual void SetSectionKey(const std::string& AKey) = 0;
};

// A long run's progress window, shown without blocking; every update lets pending window events run.
struct ILumetaProgress : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("7E108435-5BE2-4EAF-B508-74AB597863C2");
  virtual void Finish() = 0;
  virtual int32_t GetPosition() = 0;
  virtual int32_t GetMax() = 0;
  virtual void Start(const std::string& ACaption, const std::string& AStatus) = 0;
  virtual void SetPosition(int32_t AValue) = 0;
  virtual void SetMax(int32_t AValue) = 0;
  virtual void UpdateStatus(const std::string& AStatus, const std::string& ASubStatus) = 0;
  virtual void UpdateProgress(const std::string& AStatus, const std::string& ASubStatus, int32_t APosition,
                              int32_t AMax) = 0;
};

// A progress the user can stop: true once Cancel was asked for since the last Start.
struct ILumetaProgressCancel : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("5C0B8E0C-2C57-4D0B-9E0A-6F1D7C3A2B41");
  virtual bool GetCancelled() = 0;
};

struct TNodeResource {
  std::string Name;
  std::string Email;  // empty when none is known
  friend bool operator==(const TNodeResource&, const TNodeResource&) = default;
};

struct TNodeAttachment {
  std::string Name;      // what the user sees: the file name
  std::string Location;  // the path or URL
  friend bool operator==(const TNodeAttachment&, const TNodeAttachment&) = default;
};

// The host's own data of a node, beside its plug-in properties.
struct INodeHostData : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("B0F3A6D1-4E27-4C8B-9A51-2E6C0D7F8A93");
  // May hold HTML.
  virtual std::string GetNotes() = 0;
  virtual std::vector<std::string> GetCategories() = 0;
  virtual std::vector<TNodeResource> GetResources() = 0;
  virtual std::vector<TNodeAttachment> GetAttachments() = 0;
  // The nodes at the other end of the node's connections: those it draws (AOutgoing) or those
  // drawn to it; in the map's order.
  virtual std::vector<ComPtr<INode>> GetConnections(bool AOutgoing) = 0;
};

// One task an export run created.
struct TExportedTask {
  std::string NodeID;
  std::string Uid;
  std::string Subject;
};

// One node a run would export, with the subject its task gets.
struct TPlannedTask {
  ComPtr<INode> Node;
  std::string Subject;
};

// The export of actions without its dialog, for a front end that asks for the options itself. The
// Action plug-in's controller answers it; a plug-in assembled without its export raises
// ELumetaError from each call.
struct IActionExport : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("A4E95C27-3B18-4D7F-8E62-1C0F5B9D3A74");
  // The options as the export dialog last saved them.
  virtual ComPtr<IExportActionsOutlookOptions> LoadExportOptions() = 0;
  // The nodes a run with these options would export, in export order: those not exported yet, and
  // those whose tasks in the task program no longer hold what they would get. Changes neither the
  // map nor the task program.
  virtual std::vector<TPlannedTask> PlanExport(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                               ILumetaModel* AModel) = 0;
  // Exports as the export entry does after its dialog, without windows: AProgress (may be null)
  // shows the run, AOnExported (may be empty) hears of each task saved or sent. The number of tasks
  // created, or -1 when the task program could not be started.
  virtual int32_t ExportActions(IExportActionsOutlookOptions* AOptions, ISelection* ASelection, ILumetaModel* AModel,
                                ILumetaProgress* AProgress,
                                const std::function<void(const TExportedTask&)>& AOnExported) = 0;
};
