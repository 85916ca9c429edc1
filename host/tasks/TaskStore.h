#pragma once
// The task program's data: a folder of standard files that other programs read too.
//   tasks/<UID>.ics          one VCALENDAR with one VTODO per task, and nothing else: a vdir that
//                            todoman, khal and vdirsyncer read as one collection (a message found
//                            there is moved to the outbox)
//   contacts/*.vcf           the Contacts folder; each sub-folder is a contacts folder below it
//   addresslists/<Name>.vcf  one address list per file
//   outbox/<UID>-<SEQUENCE>.ics  iTIP requests of assigned tasks, for a mail program to deliver
//   exports/<NAME>.journal   what a client's export that has not ended yet planned (see Journal)
// The folder is $LUMETA_TASKS_DIR, else the settings store's value, else
// ~/.local/share/lumeta/tasks. Tasks are read once per store and kept indexed in memory, so lookups
// and saves never rescan the folder.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/tasks/TaskCalendar.h"
#include "host/tasks/VCards.h"

// Failures the tests make happen, read from $LUMETA_TASKS_FAULTS ("logon,write,send=2"):
// logon refuses to log on, write refuses every save (write=N: every save after the first N task
// and request files), send fails (every time, or the first N).
struct TTaskFaults {
  static constexpr const char* Variable = "LUMETA_TASKS_FAULTS";
  bool Logon = false;
  bool Write = false;
  int WritesLeft = -1;  // files still to be written before Write; -1: no limit
  int Send = 0;  // sends still to fail; -1: all

  static TTaskFaults FromEnvironment();
};

struct TAddressListRecord {
  std::string Name;
  std::vector<TContactRecord> Entries;
};

class TTaskStore {
 public:
  static std::string DefaultFolder();

  TTaskStore(std::string AFolder, TTaskFaults AFaults);
  // Ends an open batch.
  ~TTaskStore();
  TTaskStore(const TTaskStore&) = delete;
  TTaskStore& operator=(const TTaskStore&) = delete;

  // Between BeginBatch and EndBatch (nesting) files are still replaced atomically, but reach the
  // disk together at the outermost EndBatch: one flush instead of two per file.
  void BeginBatch() noexcept { ++FBatch; }
  void EndBatch();

  const std::string& Folder() const noexcept { return FFolder; }
  std::string TasksFolder() const { return FFolder + "/tasks"; }
  std::string ContactsFolder() const { return FFolder + "/contacts"; }
  std::string OutboxFolder() const { return FFolder + "/outbox"; }
  TTaskFaults& Faults() noexcept { return FFaults; }

  // Tasks in the order they were read (files by name), then saved.
  size_t TaskCount();
  const TTaskRecord& Task(size_t AIndex);
  // The first task whose subject equals the text, ignoring ASCII case.
  std::optional<size_t> FindBySubject(std::string_view ASubject);
  std::optional<size_t> FindByUid(const std::string& AUid);
  // Gives a new task its UID, writes its file atomically (keeping what other programs added to an
  // existing one) and updates the index. Raises EOleError (STG_E_WRITEFAULT) naming the file.
  void SaveTask(TTaskRecord& ATask);
  // A task saved again keeps its UID and file and gets the next SEQUENCE.
  // Saves the task with its sequence raised, the owner as organizer and the recipients as attendees,
  // then writes the request to the outbox; the request's path.
  std::string SendTask(TTaskRecord& ATask, const std::vector<TTaskPerson>& ARecipients);
  // Saves the task as cancelled and, when it was sent, withdraws it from its attendees (METHOD:CANCEL
  // in the outbox); the request's path, empty when there was none.
  std::string CancelTask(TTaskRecord& ATask);
  const std::string& TaskPath(size_t AIndex) { Load(); return FPaths.at(AIndex); }
  // A client's record of a run in progress, by a name of letters, digits, '-' and '_': empty when
  // there is none. Writing empty text removes it; a written record is on disk when the call returns,
  // before any task the run then saves.
  std::string Journal(const std::string& AName);
  void SetJournal(const std::string& AName, const std::string& AText);
  // Files passed over when the tasks were read, with the reason.
  const std::vector<std::string>& Skipped() const noexcept { return FSkipped; }

  const std::vector<TAddressListRecord>& AddressLists();
  // A contact or address-list entry of that full name (ASCII case ignored) with an address.
  std::optional<TTaskPerson> Resolve(std::string_view AName);
  // The organizer of sent tasks (TaskProgram.h); raises EOleError when none is set or its address
  // is not a plain one.
  TTaskPerson Owner() const;

 private:
  void Load();
  void MoveToOutbox(const std::filesystem::path& AFile);
  void IndexSubject(size_t AIndex);
  void UnindexSubject(size_t AIndex);
  void WriteFile(const std::string& APath, const std::string& AText);
  std::string WriteRequest(const TTaskRecord& ATask, bool ACancel);

  std::string FFolder;
  TTaskFaults FFaults;
  bool FLoaded = false;
  std::vector<TTaskRecord> FTasks;
  std::vector<std::string> FPaths;  // each task's file
  std::unordered_map<std::string, size_t> FByUid;
  std::unordered_map<std::string, std::vector<size_t>> FBySubject;  // folded subject, positions ascending
  std::vector<std::string> FSkipped;
  std::optional<std::vector<TAddressListRecord>> FAddressLists;
  std::optional<std::vector<TContactRecord>> FAllContacts;  // for Resolve
  int FBatch = 0;
  bool FUnflushed = false;  // a file was written in the batch
};
