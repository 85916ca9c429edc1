#include "host/tasks/TaskStore.h"

#include <algorithm>
#include <iostream>
#include <cstdlib>
#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "com/AtomicFile.h"
#include "com/ComErrors.h"
#include "com/MailAddress.h"
#include "com/UuidText.h"
#include "com/NumberText.h"
#include "com/OleVariant.h"
#include "host/tasks/CalDavClient.h"
#include "host/tasks/TaskProgram.h"
#include "settings/LumetaSettingsStore.h"

namespace {

constexpr size_t KMaxTaskFile = 16 << 20;

// A UID read from another program's file may hold anything; its file keeps the name it has, and
// only characters safe in a file name make up the name of a new one.
bool SafeFileName(std::string_view AUid) {
  return !AUid.empty() && AUid.size() < 200 && AUid.front() != '.' &&
         std::all_of(AUid.begin(), AUid.end(), [](char c) {
           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                  c == '.' || c == '@';
         });
}

// "<file>.XXXXXXXX.tmp": the temporary file of a save that never ended.
bool TemporaryFileName(const std::string& AName) {
  constexpr size_t KSuffix = 1 + 8 + 4;
  return AName.size() > KSuffix && AName.ends_with(".tmp") && AName[AName.size() - KSuffix] == '.';
}

// Removes the temporary files that killed saves left in the folder. A save in progress locks its
// target, or the folder while the target does not exist yet: a file whose lock can be taken has
// no writer left.
void RemoveStaleTemporaries(const std::string& AFolder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder, error)) {
    const std::string name = entry.path().filename().string();
    std::error_code typeError;
    if (!TemporaryFileName(name) || !entry.is_regular_file(typeError)) continue;
    const std::string target = AFolder + "/" + name.substr(0, name.size() - 13);
    const bool exists = std::filesystem::exists(target, typeError);
    const int lock = exists ? ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)
                            : ::open(AFolder.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (lock < 0) continue;
    if (::flock(lock, LOCK_EX | LOCK_NB) == 0) {
      std::filesystem::remove(entry.path(), typeError);
      ::flock(lock, LOCK_UN);
    }
    ::close(lock);
  }
}

bool JournalName(const std::string& AName) {
  return !AName.empty() && AName.size() < 100 && std::all_of(AName.begin(), AName.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  });
}

void EnsureFolder(const std::string& AFolder) {
  std::error_code error;
  std::filesystem::create_directories(AFolder, error);
  if (error) throw EFileError(AFolder, "cannot create the folder: " + error.message());
}

// A request or cancel (a calendar with a METHOD) rather than a stored task. No property of a
// component is called METHOD, so the line can only be the calendar's.
bool IsItipMessage(std::string_view AText) {
  return AText.starts_with("METHOD:") || AText.find("\nMETHOD:") != std::string_view::npos;
}

}  // namespace

TTaskFaults TTaskFaults::FromEnvironment() {
  TTaskFaults faults;
  const char* text = std::getenv(Variable);
  if (!text) return faults;
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t comma = std::min(rest.find(','), rest.size());
    const std::string_view word = rest.substr(0, comma);
    rest.remove_prefix(std::min(comma + 1, rest.size()));
    if (word == "logon") faults.Logon = true;
    if (word == "write") faults.Write = true;
    if (word.starts_with("write=")) faults.WritesLeft = ParseInteger<int>(word.substr(6)).value_or(0);
    if (word == "send") faults.Send = -1;
    if (word.starts_with("send=")) faults.Send = ParseInteger<int>(word.substr(5)).value_or(-1);
  }
  return faults;
}

std::string TTaskStore::DefaultFolder() { return TaskProgramFolder(); }

TTaskStore::TTaskStore(std::string AFolder, TTaskFaults AFaults, TCalDavSettings AServer)
    : FFolder(std::move(AFolder)), FFaults(AFaults), FServer(std::move(AServer)) {}

TTaskStore::~TTaskStore() {
  if (FBatch == 0) return;
  FBatch = 1;
  try {
    EndBatch();
  } catch (const std::exception&) {
    // Nobody is left to tell; the files are complete, only perhaps not yet on disk.
  }
}

void TTaskStore::EndBatch() {
  if (FBatch == 0 || --FBatch > 0) return;
  FinishPuts();
  if (FIndexChanged) WriteIndex();
  if (FUnflushed) {
    FUnflushed = false;
    try {
      SyncFileSystem(FFolder);
    } catch (const EFileError& error) {
      throw EOleError("cannot save the tasks: " + error.Reason(), STG_E_WRITEFAULT);
    }
  }
  ThrowPutFailure(true);
}

void TTaskStore::Load() {
  if (FLoaded) return;
  if (OnServer()) {
    RemoveStaleTemporaries(OutboxFolder());
    RemoveStaleTemporaries(FFolder + "/exports");
    LoadFromServer();  // loaded only once it answered: a later call asks again
    FLoaded = true;
    return;
  }
  FLoaded = true;
  RemoveStaleTemporaries(TasksFolder());
  RemoveStaleTemporaries(OutboxFolder());
  RemoveStaleTemporaries(FFolder + "/exports");
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(TasksFolder(), error)) {
    std::error_code typeError;
    if (entry.is_regular_file(typeError) && entry.path().extension() == ".ics") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    std::string reason;
    try {
      const std::string text = ReadWholeFile(file.string(), KMaxTaskFile);
      if (IsItipMessage(text)) {
        MoveToOutbox(file);
        continue;
      }
      std::vector<std::string> warnings;
      std::optional<TTaskRecord> task = TaskFromICalendar(text, reason, &warnings);
      for (const std::string& warning : warnings) std::cerr << "warning: tasks: " << file.string() << ": " << warning << '\n';
      // Two files of one task (a copy made by hand): the first one read is the task.
      if (task && FByUid.contains(task->Uid)) reason = "a second file of task " + task->Uid;
      if (task && reason.empty()) {
        FByUid.emplace(task->Uid, FTasks.size());
        FTasks.push_back(std::move(*task));
        FPaths.push_back(file.string());
        IndexSubject(FTasks.size() - 1);
        continue;
      }
    } catch (const EFileError& failure) {
      reason = failure.Reason();
    }
    FSkipped.push_back(file.string() + ": " + reason);
    // Said where the program runs, as the settings store says what it leaves out: a task that
    // silently went missing from every list and export would be lost to the user.
    std::cerr << "warning: tasks: " << FSkipped.back() << "; the file is passed over\n";
  }
}

void TTaskStore::MoveToOutbox(const std::filesystem::path& AFile) {
  // tasks/ is a collection other programs list: a message there would show as a second task.
  std::error_code error;
  EnsureFolder(OutboxFolder());
  std::filesystem::path target = std::filesystem::path(OutboxFolder()) / AFile.filename();
  for (int copy = 1; std::filesystem::exists(target, error); ++copy)
    target = std::filesystem::path(OutboxFolder()) / (AFile.stem().string() + "." + std::to_string(copy) + ".ics");
  std::filesystem::rename(AFile, target, error);
  if (error) throw EFileError(AFile.string(), "cannot move the message to the outbox: " + error.message());
  std::cerr << "note: tasks: " << AFile.string() << " is a message, not a task; moved to " << target.string() << '\n';
}

void TTaskStore::IndexSubject(size_t AIndex) {
  auto& positions = FBySubject[FoldAscii(FTasks[AIndex].Subject)];
  positions.insert(std::lower_bound(positions.begin(), positions.end(), AIndex), AIndex);
}

void TTaskStore::UnindexSubject(size_t AIndex) {
  const auto found = FBySubject.find(FoldAscii(FTasks[AIndex].Subject));
  if (found == FBySubject.end()) return;
  std::erase(found->second, AIndex);
  if (found->second.empty()) FBySubject.erase(found);
}

size_t TTaskStore::TaskCount() {
  Load();
  return FTasks.size();
}

const TTaskRecord& TTaskStore::Task(size_t AIndex) {
  Load();
  return FTasks.at(AIndex);
}

const std::string& TTaskStore::TaskETag(size_t AIndex) {
  static const std::string none;
  Load();
  if (OnServer()) return FETags.at(AIndex);
  (void)FTasks.at(AIndex);  // the same bounds check
  return none;
}

double TTaskStore::TaskChangedAt(size_t AIndex) {
  Load();
  return FTasks.at(AIndex).ChangedAt;
}

std::optional<size_t> TTaskStore::FindBySubject(std::string_view ASubject) {
  Load();
  const auto found = FBySubject.find(FoldAscii(ASubject));
  if (found == FBySubject.end() || found->second.empty()) return std::nullopt;
  return found->second.front();
}

std::optional<size_t> TTaskStore::FindByUid(const std::string& AUid) {
  Load();
  const auto found = FByUid.find(AUid);
  return found == FByUid.end() ? std::nullopt : std::optional<size_t>(found->second);
}

std::string TTaskStore::Journal(const std::string& AName) {
  if (!JournalName(AName)) throw ELumetaError("'" + AName + "' cannot name a journal", E_INVALIDARG);
  const std::string path = FFolder + "/exports/" + AName + ".journal";
  std::error_code error;
  if (!std::filesystem::exists(path, error)) return {};
  try {
    return ReadWholeFile(path, KMaxTaskFile);
  } catch (const EFileError& failure) {
    throw EOleError("cannot read " + path + ": " + failure.Reason(), STG_E_READFAULT);
  }
}

void TTaskStore::SetJournal(const std::string& AName, const std::string& AText) {
  if (!JournalName(AName)) throw ELumetaError("'" + AName + "' cannot name a journal", E_INVALIDARG);
  const std::string folder = FFolder + "/exports";
  const std::string path = folder + "/" + AName + ".journal";
  std::error_code error;
  if (AText.empty()) {
    std::filesystem::remove(path, error);
    if (error) throw EOleError("cannot remove " + path + ": " + error.message(), STG_E_WRITEFAULT);
    return;
  }
  try {
    EnsureFolder(folder);
    if (FFaults.Write) throw EFileError(path, "the store refuses to be written (injected fault)");
    // Flushed now, batch or not: the tasks saved after it must never be on disk without it.
    WriteFileAtomically(path, AText, TFlush::Now);
  } catch (const EFileError& failure) {
    throw EOleError("cannot save " + path + ": " + failure.Reason(), STG_E_WRITEFAULT);
  }
}

void TTaskStore::WriteFile(const std::string& APath, const std::string& AText) {
  try {
    if (FFaults.WritesLeft == 0) FFaults.Write = true;
    if (FFaults.Write) throw EFileError(APath, "the store refuses to be written (injected fault)");
    if (FFaults.WritesLeft > 0) --FFaults.WritesLeft;
    WriteFileAtomically(APath, AText, FBatch > 0 ? TFlush::Deferred : TFlush::Now);
    if (FBatch > 0) FUnflushed = true;
  } catch (const EFileError& error) {
    throw EOleError("cannot save " + APath + ": " + error.Reason(), STG_E_WRITEFAULT);
  }
}

void TTaskStore::SaveTask(TTaskRecord& ATask) {
  Load();
  const auto known = ATask.Uid.empty() ? FByUid.end() : FByUid.find(ATask.Uid);
  const bool isNew = known == FByUid.end();
  const std::string uid = ATask.Uid.empty() ? NewUuidText() : ATask.Uid;
  // An existing task keeps its file, whatever its name.
  const std::string name = (SafeFileName(uid) ? uid : NewUuidText()) + ".ics";
  const std::string path = !isNew ? FPaths[known->second] : OnServer() ? Client().CollectionPath() + name
                                                                       : TasksFolder() + "/" + name;
  // A task saved again is a new version of it, for clients and attendees that keep the old one.
  if (!isNew) ATask.Sequence = std::max(ATask.Sequence, FTasks[known->second].Sequence) + 1;
  if (OnServer()) return SaveToServer(ATask, isNew ? std::nullopt : std::optional<size_t>(known->second), uid, path);
  std::string original;
  if (!isNew) {
    try {
      original = ReadWholeFile(path, KMaxTaskFile);
    } catch (const EFileError&) {
      // Gone meanwhile: written anew.
    }
  }
  TTaskRecord saved = ATask;
  saved.Uid = uid;
  saved.ChangedAt = UtcNowDays();
  try {
    EnsureFolder(TasksFolder());
  } catch (const EFileError& error) {
    throw EOleError(error.what(), STG_E_WRITEFAULT);
  }
  WriteFile(path, TaskToICalendar(saved, original));
  ATask.Uid = uid;
  FLanded.push_back({uid, {}});
  if (isNew) {
    FByUid.emplace(uid, FTasks.size());
    FTasks.push_back(std::move(saved));
    FPaths.push_back(path);
    IndexSubject(FTasks.size() - 1);
    return;
  }
  const size_t index = known->second;
  UnindexSubject(index);
  FTasks[index] = std::move(saved);
  IndexSubject(index);
}

std::string TTaskStore::SendTask(TTaskRecord& ATask, const std::vector<TTaskPerson>& ARecipients) {
  const TTaskPerson owner = Owner();  // before anything is written
  const bool isNew = ATask.Uid.empty() || !FindByUid(ATask.Uid);
  if (isNew) ++ATask.Sequence;  // a saved one is raised by the save
  ATask.Organizer = owner;
  ATask.Attendees = ARecipients;
  SaveTask(ATask);
  // The request goes out only for a task the server has.
  if (OnServer()) AwaitSave(ATask.Uid);
  return WriteRequest(ATask, false);
}

std::string TTaskStore::CancelTask(TTaskRecord& ATask) {
  ATask.Cancelled = true;
  SaveTask(ATask);
  if (OnServer() && !ATask.Attendees.empty()) AwaitSave(ATask.Uid);
  return ATask.Attendees.empty() ? std::string() : WriteRequest(ATask, true);
}

std::string TTaskStore::WriteRequest(const TTaskRecord& ATask, bool ACancel) {
  // Named after the task's file: a UID a client chose may hold anything, a '/' or "..".
  const std::string stem = std::filesystem::path(FPaths[FByUid.at(ATask.Uid)]).stem().string();
  const std::string path = OutboxFolder() + "/" + stem + "-" + std::to_string(ATask.Sequence) + ".ics";
  try {
    EnsureFolder(OutboxFolder());
  } catch (const EFileError& error) {
    throw EOleError(error.what(), STG_E_WRITEFAULT);
  }
  WriteFile(path, TaskRequestToICalendar(ATask, ACancel));
  return path;
}

const std::vector<TAddressListRecord>& TTaskStore::AddressLists() {
  if (FAddressLists) return *FAddressLists;
  FAddressLists.emplace();
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(FFolder + "/addresslists", error)) {
    std::error_code typeError;
    if (entry.is_regular_file(typeError) && entry.path().extension() == ".vcf") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    try {
      FAddressLists->push_back({file.stem().string(), ParseVCards(ReadWholeFile(file.string(), KMaxTaskFile))});
    } catch (const EFileError&) {
      // An unreadable list is left out, as the contact folders leave out unreadable files.
    }
  }
  return *FAddressLists;
}

std::optional<TTaskPerson> TTaskStore::Resolve(std::string_view AName) {
  if (!FAllContacts) {
    FAllContacts.emplace();
    // The whole tree, walked without recursion: its depth is the user's.
    std::vector<std::string> pending{ContactsFolder()};
    while (!pending.empty()) {
      const std::string folder = std::move(pending.back());
      pending.pop_back();
      for (TContactRecord& contact : ReadContactFolder(folder)) FAllContacts->push_back(std::move(contact));
      for (std::string& sub : SubFolders(folder)) pending.push_back(std::move(sub));
    }
    for (const TAddressListRecord& list : AddressLists())
      FAllContacts->insert(FAllContacts->end(), list.Entries.begin(), list.Entries.end());
  }
  const std::string name = FoldAscii(AName);
  for (const TContactRecord& contact : *FAllContacts)
    if (MailAddressProblem(contact.Email).empty() && FoldAscii(contact.FullName) == name)
      return TTaskPerson{contact.FullName, contact.Email};
  return std::nullopt;
}

TTaskPerson TTaskStore::Owner() const {
  const TTaskProgramOwner owner = ReadTaskProgramOwner();
  if (owner.Address.empty())
    throw EOleError("no owner is set to send assigned tasks from: set one with 'lumeta tasks owner NAME EMAIL'",
                    E_FAIL);
  if (const std::string problem = MailAddressProblem(owner.Address); !problem.empty())
    throw EOleError("the owner's e-mail address '" + PrintableText(owner.Address) + "' " + problem +
                        ": set another with 'lumeta tasks owner NAME EMAIL'",
                    E_FAIL);
  return {owner.Name, owner.Address};
}
