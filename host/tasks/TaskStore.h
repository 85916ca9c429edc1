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
//
// A store registered on a CalDAV server (TCalDavSettings) keeps its tasks in that calendar
// collection instead of tasks/: reading the tasks is one calendar-query REPORT, a save is a PUT
// (If-None-Match: * for a new task, If-Match: ETAG for an update, so that nobody's change is
// overwritten unseen), and the folder keeps the rest as above plus
//   exports/caldav.index     each task's UID, href and ETag as the server last acknowledged them,
//                            and the sync-token a client keeps (SetSyncToken); replaced atomically
// Every public member works on either kind; TaskPath is the task's href on a server.
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "com/ComErrors.h"
#include "host/tasks/TaskCalendar.h"
#include "host/tasks/TaskProgram.h"
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

class TCalDavClient;
struct THttpReply;

struct TAddressListRecord {
  std::string Name;
  std::vector<TContactRecord> Entries;
};

class TTaskStore {
 public:
  static std::string DefaultFolder();

  // With AServer.Url set, the tasks are the server's (nothing is asked before the first read).
  TTaskStore(std::string AFolder, TTaskFaults AFaults, TCalDavSettings AServer = {});
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
  // ---- a store on a server (empty or no-op answers for a folder)
  bool OnServer() const noexcept { return !FServer.Url.empty(); }
  const TCalDavSettings& Server() const noexcept { return FServer; }
  // Asks the server for the calendar (with ACreate making it, and its parent, when missing) and
  // says in one line what answered. Raises EOleError naming the server and the reason: not
  // reachable, login refused, not a calendar, no tasks allowed in it.
  std::string CheckServer(bool ACreate);
  // The task's ETag on the server as last read or written (a folder: empty).
  const std::string& TaskETag(size_t AIndex);
  // When the stored copy of the task last changed, UTC days since 30 December 1899 (its
  // LAST-MODIFIED, else DTSTAMP); 0 when it does not say.
  double TaskChangedAt(size_t AIndex);
  // The sync-token (RFC 6578) a client kept with SetSyncToken, read from the index; empty when
  // none was kept for this collection. SetSyncToken replaces the index at once.
  std::string SyncToken();
  void SetSyncToken(const std::string& AToken);
  // What changed on the server since the token (empty: since the collection began): the tasks
  // added or changed, read anew into the store (their positions), the UIDs of the tasks removed,
  // and the token to keep for the next call. Empty when the server keeps no tokens or no longer
  // knows this one: then read every task (a new store) and compare. Raises EOleError as a read.
  struct TTaskChanges {
    std::string Token;
    std::vector<size_t> Changed;
    std::vector<std::string> Removed;
  };
  std::optional<TTaskChanges> ChangesSince(const std::string& AToken);
  // Inside a batch a save to a server is sent and not waited for, so that a few are in flight at
  // once; the task is in the store at once, in the index once the server acknowledged it. A save
  // that fails makes the next save and EndBatch raise the failure. What the server acknowledged
  // since the last call, or refused (Refusal: the task changed there again while it was merged),
  // in the order it answered; with AWait after every save in flight has its answer. A folder
  // store lists each save as it returns.
  struct TLanded {
    std::string Uid;
    std::string Refusal;
  };
  std::vector<TLanded> TakeLanded(bool AWait);
  std::string IndexPath() const { return FFolder + "/exports/caldav.index"; }

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
  void LoadFromServer();
  TCalDavClient& Client();
  // PUTs the task to the href (AKnown: its position when the store has it), merging the
  // server's copy once when it changed there (412).
  struct TPut;
  void SaveToServer(TTaskRecord& ATask, std::optional<size_t> AKnown, const std::string& AUid, const std::string& AHref);
  void IssuePut(const std::shared_ptr<TPut>& APut);
  void PutAnswered(const std::shared_ptr<TPut>& APut, const std::string& AText, const THttpReply& AReply);
  void TheirsAnswered(const std::shared_ptr<TPut>& APut, const THttpReply& AReply);
  void PutLanded(const TPut& APut, const std::string& AETag);
  // Ends a save that did not land: the task is as it was before it; AFailure stops the run.
  void PutDropped(const TPut& APut, const std::string& ARefusal, const std::optional<EOleError>& AFailure);
  void FinishPuts();
  // Waits for the task's save; raises its failure or refusal.
  void AwaitSave(const std::string& AUid);
  void ThrowPutFailure(bool AClear);
  // Takes in a task as the server sent it: its position, or none when it is not a task.
  std::optional<size_t> TakeServerTask(const std::string& AHref, const std::string& AETag, const std::string& AText,
                                       const std::string& AWrittenETag);
  // UID -> the ETag the index holds for the task (this collection's only); keeps FIndexedHrefs.
  std::unordered_map<std::string, std::string> ReadIndex();
  void WriteIndex();
  void MoveToOutbox(const std::filesystem::path& AFile);
  void IndexSubject(size_t AIndex);
  void UnindexSubject(size_t AIndex);
  void WriteFile(const std::string& APath, const std::string& AText);
  std::string WriteRequest(const TTaskRecord& ATask, bool ACancel);

  std::string FFolder;
  TTaskFaults FFaults;
  bool FLoaded = false;
  std::vector<TTaskRecord> FTasks;
  std::vector<std::string> FPaths;  // each task's file, or its href on a server
  TCalDavSettings FServer;
  std::unique_ptr<TCalDavClient> FClient;
  std::vector<std::string> FETags;  // on a server: of the copy read
  // The ETag of the version this store last wrote or acknowledged, from the index: an update is
  // written against it, so that a change made elsewhere since (a task ticked off on a phone) is
  // merged, not overwritten.
  std::vector<std::string> FWrittenETags;
  std::unordered_map<std::string, std::string> FIndexedHrefs;  // href -> UID, for tasks removed since
  std::vector<std::string> FTexts;  // on a server: the copy it sent, for what other programs added
  std::optional<std::string> FSyncToken;  // read from the index on first use
  std::unordered_set<std::string> FPutting;  // UIDs of the tasks whose saves are in flight
  std::vector<TLanded> FLanded;
  std::optional<EOleError> FPutFailure;  // the first save that failed
  bool FIndexChanged = false;  // to write at the end of the batch
  std::unordered_map<std::string, size_t> FByUid;
  std::unordered_map<std::string, std::vector<size_t>> FBySubject;  // folded subject, positions ascending
  std::vector<std::string> FSkipped;
  std::optional<std::vector<TAddressListRecord>> FAddressLists;
  std::optional<std::vector<TContactRecord>> FAllContacts;  // for Resolve
  int FBatch = 0;
  bool FUnflushed = false;  // a file was written in the batch
};
