// The task store's members that talk to a CalDAV server (TaskStore.h).
#include <algorithm>
#include <iostream>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "com/AtomicFile.h"
#include "com/ComErrors.h"
#include "com/StoreResults.h"
#include "host/tasks/CalDavClient.h"
#include "host/tasks/CalDavPasswordPrompt.h"
#include "host/tasks/TaskStore.h"

namespace {

constexpr const char* KIndexHeader = "lumeta-caldav-index 1";

// Saves in flight at once: enough to keep a server busy while the next tasks are prepared, few
// enough that a failing server is noticed early.
constexpr size_t KPutsInFlight = 8;

const std::string KXmlHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
const std::string KNamespaces = " xmlns:D=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"";

std::string XmlEscaped(const std::string& AText) {
  std::string result;
  for (const char c : AText) {
    switch (c) {
      case '&': result += "&amp;"; break;
      case '<': result += "&lt;"; break;
      case '>': result += "&gt;"; break;
      case '"': result += "&quot;"; break;
      default: result += c;
    }
  }
  return result;
}

// The path of an href; a server may answer with whole URLs.
std::string HrefPath(const std::string& AHref) {
  const size_t scheme = AHref.find("://");
  if (scheme == std::string::npos) return AHref;
  const size_t path = AHref.find('/', scheme + 3);
  return path == std::string::npos ? std::string("/") : AHref.substr(path);
}

// Tabs and line breaks would break the index's lines; such tasks are read again from the server.
bool IndexableText(const std::string& AText) { return AText.find_first_of("\t\r\n") == std::string::npos; }

const TCalDavClient::THeaders KXmlBody{{"Content-Type", "application/xml; charset=utf-8"}};

}  // namespace

TCalDavClient& TTaskStore::Client() {
  if (!FClient) {
    try {
      std::string password = ReadCalDavPassword();
      // Neither the variable nor the file gives one: what the user typed earlier in the session,
      // else asked when the server refuses the login.
      const bool ask = password.empty() && !FServer.User.empty();
      if (ask) password = SessionCalDavPassword(FServer).value_or(std::string());
      FClient = std::make_unique<TCalDavClient>(FServer, password);
      if (ask) FClient->OnLoginRefused = [this](bool ARefused) { return AskCalDavPassword(FServer, ARefused); };
    } catch (const ELumetaError& error) {
      throw EOleError(error.what(), error.Code());
    }
  }
  return *FClient;
}

std::string TTaskStore::CheckServer(bool ACreate) {
  TCalDavClient& client = Client();
  const std::string ask = KXmlHead + "<D:propfind" + KNamespaces +
                          "><D:prop><D:resourcetype/><C:supported-calendar-component-set/></D:prop></D:propfind>";
  THttpReply reply = client.Send("PROPFIND", {}, {{"Depth", "0"}, KXmlBody[0]}, ask);
  if (reply.Status == 404 && ACreate) {
    // A calendar is made inside an existing collection: the parent first, when it is missing.
    std::string parent = client.CollectionPath();
    parent.pop_back();
    parent = parent.substr(0, parent.rfind('/') + 1);
    if (parent.size() > 1) {
      const THttpReply found = client.Send("PROPFIND", parent, {{"Depth", "0"}, KXmlBody[0]}, ask);
      if (found.Status == 404) {
        const THttpReply made = client.Send("MKCOL", parent);
        if (made.Status != 201) throw EOleError(client.Failure("MKCOL", parent, made), E_FAIL);
      } else if (found.Status != 207) {
        throw EOleError(client.Failure("PROPFIND", parent, found), E_FAIL);
      }
    }
    const std::string make = KXmlHead + "<C:mkcalendar" + KNamespaces +
                             "><D:set><D:prop><D:displayname>Tasks</D:displayname>"
                             "<C:supported-calendar-component-set><C:comp name=\"VTODO\"/>"
                             "</C:supported-calendar-component-set></D:prop></D:set></C:mkcalendar>";
    const THttpReply made = client.Send("MKCALENDAR", {}, KXmlBody, make);
    if (made.Status != 201) throw EOleError(client.Failure("MKCALENDAR", {}, made), E_FAIL);
    reply = client.Send("PROPFIND", {}, {{"Depth", "0"}, KXmlBody[0]}, ask);
  }
  if (reply.Status == 404)
    throw EOleError("there is no calendar at " + FServer.Url + ": give --create to make one", E_FAIL);
  if (reply.Status != 207) throw EOleError(client.Failure("PROPFIND", {}, reply), E_FAIL);
  TDavMultiStatus answer;
  try {
    answer = ParseMultiStatus(reply.Body);
  } catch (const ELumetaError& error) {
    throw EOleError("the CalDAV server " + FServer.Url + ": " + error.what(), E_FAIL);
  }
  const auto self = std::find_if(answer.Resources.begin(), answer.Resources.end(),
                                 [&](const TDavResource& r) { return HrefPath(r.Href) == client.CollectionPath(); });
  const TDavResource* resource = self != answer.Resources.end() ? &*self
                                 : answer.Resources.empty() ? nullptr
                                                            : &answer.Resources.front();
  if (!resource || !resource->IsCalendar)
    throw EOleError(FServer.Url + " is not a calendar collection", E_FAIL);
  if (!resource->HoldsTasks) throw EOleError("the calendar " + FServer.Url + " does not take tasks (VTODO)", E_FAIL);
  return "calendar " + FServer.Url + " answers" + (FServer.User.empty() ? "" : " (user " + FServer.User + ")");
}

void TTaskStore::LoadFromServer() {
  TCalDavClient& client = Client();
  const std::string query = KXmlHead + "<C:calendar-query" + KNamespaces +
                            "><D:prop><D:getetag/><C:calendar-data/></D:prop>"
                            "<C:filter><C:comp-filter name=\"VCALENDAR\"><C:comp-filter name=\"VTODO\"/>"
                            "</C:comp-filter></C:filter></C:calendar-query>";
  const THttpReply reply = client.Send("REPORT", {}, {{"Depth", "1"}, KXmlBody[0]}, query);
  if (reply.Status == 404)
    throw EOleError("there is no calendar at " + FServer.Url + ": make it with 'lumeta tasks register --caldav " +
                        FServer.Url + " --create'",
                    STG_E_READFAULT);
  if (reply.Status != 207) throw EOleError(client.Failure("REPORT", {}, reply), STG_E_READFAULT);
  TDavMultiStatus answer;
  try {
    answer = ParseMultiStatus(reply.Body);
  } catch (const ELumetaError& error) {
    throw EOleError("the CalDAV server " + FServer.Url + ": " + error.what(), STG_E_READFAULT);
  }
  // Listed by href, as a folder's files are listed by name.
  std::sort(answer.Resources.begin(), answer.Resources.end(),
            [](const TDavResource& a, const TDavResource& b) { return a.Href < b.Href; });
  const std::unordered_map<std::string, std::string> written = ReadIndex();
  for (const TDavResource& resource : answer.Resources)
    if (resource.Status == 200 && !resource.CalendarData.empty())
      TakeServerTask(HrefPath(resource.Href), resource.ETag, resource.CalendarData, {});
  // A task changed elsewhere since this store wrote it keeps the ETag it was written with.
  for (size_t i = 0; i < FTasks.size(); ++i)
    if (const auto found = written.find(FTasks[i].Uid); found != written.end()) FWrittenETags[i] = found->second;
  FIndexChanged = true;
  if (FBatch == 0) WriteIndex();
}

std::optional<size_t> TTaskStore::TakeServerTask(const std::string& AHref, const std::string& AETag,
                                                 const std::string& AText, const std::string& AWrittenETag) {
  std::string reason;
  std::vector<std::string> warnings;
  std::optional<TTaskRecord> task = TaskFromICalendar(AText, reason, &warnings);
  for (const std::string& warning : warnings) std::cerr << "warning: tasks: " << AHref << ": " << warning << '\n';
  if (!task) {
    FSkipped.push_back(AHref + ": " + reason);
    std::cerr << "warning: tasks: " << FSkipped.back() << "; passed over\n";
    return std::nullopt;
  }
  if (const auto known = FByUid.find(task->Uid); known != FByUid.end()) {
    const size_t index = known->second;
    if (FPaths[index] != AHref) {
      FSkipped.push_back(AHref + ": a second copy of task " + task->Uid);
      std::cerr << "warning: tasks: " << FSkipped.back() << "; passed over\n";
      return std::nullopt;
    }
    UnindexSubject(index);
    FTasks[index] = std::move(*task);
    FETags[index] = AETag;
    FTexts[index] = AText;
    if (!AWrittenETag.empty()) FWrittenETags[index] = AWrittenETag;
    IndexSubject(index);
    return index;
  }
  FByUid.emplace(task->Uid, FTasks.size());
  FTasks.push_back(std::move(*task));
  FPaths.push_back(AHref);
  FETags.push_back(AETag);
  FWrittenETags.push_back(AWrittenETag.empty() ? AETag : AWrittenETag);
  FTexts.push_back(AText);
  IndexSubject(FTasks.size() - 1);
  return FTasks.size() - 1;
}

// One save on its way: what is sent, and the task as it was before, for a save that does not land.
struct TTaskStore::TPut {
  TTaskRecord Task;
  std::string Href;
  std::string ETag;  // to write against; empty: a new task
  std::string Original;  // the server's copy, for what other programs added to it
  double KnownChange = 0;  // when the copy this store knows last changed
  int Attempt = 0;
  struct TBefore {
    TTaskRecord Task;
    std::string ETag, Text;
  };
  std::optional<TBefore> Before;
};

void TTaskStore::SaveToServer(TTaskRecord& ATask, std::optional<size_t> AKnown, const std::string& AUid,
                              const std::string& AHref) {
  TCalDavClient& client = Client();
  ThrowPutFailure(false);  // a run that failed sends nothing more
  if (FFaults.WritesLeft == 0) FFaults.Write = true;
  if (FFaults.Write) throw EOleError("cannot save " + AHref + ": the store refuses to be written (injected fault)", STG_E_WRITEFAULT);
  if (FFaults.WritesLeft > 0) --FFaults.WritesLeft;
  // A task saved again is written against the ETag its last save brings.
  while (FPutting.contains(AUid) && client.InFlight() > 0) client.WaitForOne();
  while (client.InFlight() >= KPutsInFlight) client.WaitForOne();
  ThrowPutFailure(false);
  auto put = std::make_shared<TPut>();
  put->Task = ATask;
  put->Task.Uid = AUid;
  put->Href = AHref;
  ATask.Uid = AUid;
  size_t index = FTasks.size();
  if (AKnown) {
    index = *AKnown;
    put->ETag = FWrittenETags[index];
    put->Original = FTexts[index];
    put->KnownChange = FTasks[index].ChangedAt;
    put->Before = TPut::TBefore{FTasks[index], FETags[index], FTexts[index]};
    UnindexSubject(index);
    FTasks[index] = put->Task;
  } else {
    // In the store at once, as a folder's task is, so that it is found; in the index once it landed.
    FByUid.emplace(AUid, index);
    FTasks.push_back(put->Task);
    FPaths.push_back(AHref);
    FETags.emplace_back();
    FWrittenETags.emplace_back();
    FTexts.emplace_back();
  }
  IndexSubject(index);
  FPutting.insert(AUid);
  IssuePut(put);
  if (FBatch == 0) AwaitSave(AUid);
}

void TTaskStore::AwaitSave(const std::string& AUid) {
  while (FPutting.contains(AUid) && Client().InFlight() > 0) Client().WaitForOne();
  ThrowPutFailure(FBatch == 0);
  const auto refused = std::find_if(FLanded.rbegin(), FLanded.rend(), [&](const TLanded& A) { return A.Uid == AUid; });
  if (refused != FLanded.rend() && !refused->Refusal.empty()) throw EOleError(refused->Refusal, MAPI_E_OBJECT_CHANGED);
}

void TTaskStore::IssuePut(const std::shared_ptr<TPut>& APut) {
  // Answers arrive inside the event loop, where nothing may be thrown: a failure ends the save.
  try {
    if (FPutFailure) return PutDropped(*APut, {}, std::nullopt);
    std::string text = TaskToICalendar(APut->Task, APut->Original);
    TCalDavClient::THeaders headers{{"Content-Type", "text/calendar; charset=utf-8"}};
    headers.emplace_back(APut->ETag.empty() ? "If-None-Match" : "If-Match", APut->ETag.empty() ? "*" : APut->ETag);
    Client().Start("PUT", APut->Href, headers, text, [this, APut, text](const THttpReply& AReply) {
      PutAnswered(APut, text, AReply);
    });
  } catch (const EOleError& error) {
    PutDropped(*APut, {}, error);
  } catch (const std::exception& error) {
    PutDropped(*APut, {}, EOleError("cannot save " + APut->Href + ": " + error.what(), STG_E_WRITEFAULT));
  }
}

void TTaskStore::PutAnswered(const std::shared_ptr<TPut>& APut, const std::string& AText, const THttpReply& AReply) {
  TCalDavClient& client = Client();
  TPut& put = *APut;
  if (AReply.Status == 201 || AReply.Status == 204 || AReply.Status == 200) {
    put.Original = AText;
    put.Task.ChangedAt = UtcNowDays();
    if (!AReply.ETag.empty()) return PutLanded(put, AReply.ETag);
    // A server that names no ETag in its answer tells it when asked.
    return client.Start("HEAD", put.Href, {}, {}, [this, APut](const THttpReply& AHead) { PutLanded(*APut, AHead.ETag); });
  }
  if (AReply.Status == 409)
    return PutDropped(put, {},
                      EOleError(client.Failure("PUT", put.Href, AReply) + ": the calendar already holds task " +
                                    put.Task.Uid + " under another name",
                                STG_E_WRITEFAULT));
  if (AReply.Status != 412) return PutDropped(put, {}, EOleError(client.Failure("PUT", put.Href, AReply), STG_E_WRITEFAULT));
  if (put.Attempt > 0)
    return PutDropped(put,
                      "the task '" + put.Task.Subject + "' (" + put.Href + ") changed on the CalDAV server " +
                          FServer.Url + " again while it was merged; it stays as the server has it",
                      std::nullopt);
  // Somebody changed (or made, or removed) the task since this store read it: merge with their copy.
  client.Start("GET", put.Href, {}, {}, [this, APut](const THttpReply& ATheirs) { TheirsAnswered(APut, ATheirs); });
}

void TTaskStore::TheirsAnswered(const std::shared_ptr<TPut>& APut, const THttpReply& AReply) {
  TPut& put = *APut;
  ++put.Attempt;
  if (AReply.Status == 404) {  // removed there: made again
    put.ETag.clear();
    put.Original.clear();
    return IssuePut(APut);
  }
  if (AReply.Status != 200)
    return PutDropped(put, {}, EOleError(Client().Failure("GET", put.Href, AReply), STG_E_READFAULT));
  std::string reason;
  const std::optional<TTaskRecord> server = TaskFromICalendar(AReply.Body, reason);
  if (server && server->ChangedAt >= put.KnownChange) {
    // Progress is what others tick off; the plan's fields are the map's.
    put.Task.Status = server->Status;
    put.Task.PercentComplete = server->PercentComplete;
    if (TaskDone(*server)) put.Task.DateCompleted = server->DateCompleted;
  }
  if (server) put.Task.Sequence = std::max(put.Task.Sequence, server->Sequence + 1);
  put.Original = AReply.Body;
  put.ETag = AReply.ETag;
  if (!put.ETag.empty()) return IssuePut(APut);
  Client().Start("HEAD", put.Href, {}, {}, [this, APut](const THttpReply& AHead) {
    APut->ETag = AHead.ETag;
    IssuePut(APut);
  });
}

void TTaskStore::PutLanded(const TPut& APut, const std::string& AETag) {
  const size_t index = FByUid.at(APut.Task.Uid);
  UnindexSubject(index);
  FTasks[index] = APut.Task;
  IndexSubject(index);
  FETags[index] = AETag;
  FWrittenETags[index] = AETag;
  FTexts[index] = APut.Original;
  FPutting.erase(APut.Task.Uid);
  FLanded.push_back({APut.Task.Uid, {}});
  // Only what the server acknowledged goes into the index.
  FIndexChanged = true;
  if (FBatch > 0) return;
  try {
    WriteIndex();
  } catch (const EOleError& error) {
    if (!FPutFailure) FPutFailure = error;
  }
}

void TTaskStore::PutDropped(const TPut& APut, const std::string& ARefusal, const std::optional<EOleError>& AFailure) {
  if (APut.Before) {
    const size_t index = FByUid.at(APut.Task.Uid);
    UnindexSubject(index);
    FTasks[index] = APut.Before->Task;
    IndexSubject(index);
    FETags[index] = APut.Before->ETag;
    FTexts[index] = APut.Before->Text;
  }
  FPutting.erase(APut.Task.Uid);
  if (!ARefusal.empty()) FLanded.push_back({APut.Task.Uid, ARefusal});
  if (AFailure && !FPutFailure) FPutFailure = AFailure;
}

void TTaskStore::FinishPuts() {
  while (FClient && FClient->InFlight() > 0) FClient->WaitForOne();
}

void TTaskStore::ThrowPutFailure(bool AClear) {
  if (!FPutFailure) return;
  const EOleError failure = *FPutFailure;
  if (AClear) FPutFailure.reset();
  throw failure;
}

std::vector<TTaskStore::TLanded> TTaskStore::TakeLanded(bool AWait) {
  if (AWait) FinishPuts();
  return std::exchange(FLanded, {});
}

void TTaskStore::WriteIndex() {
  FIndexChanged = false;
  std::string text = std::string(KIndexHeader) + "\nurl\t" + FServer.Url + "\n";
  if (const std::string token = SyncToken(); !token.empty() && IndexableText(token)) text += "sync-token\t" + token + "\n";
  for (size_t i = 0; i < FTasks.size(); ++i)
    if (!FWrittenETags[i].empty() && IndexableText(FTasks[i].Uid) && IndexableText(FPaths[i]) &&
        IndexableText(FWrittenETags[i]))
      text += "task\t" + FTasks[i].Uid + "\t" + FPaths[i] + "\t" + FWrittenETags[i] + "\n";
  try {
    std::error_code error;
    std::filesystem::create_directories(FFolder + "/exports", error);
    WriteFileAtomically(IndexPath(), text, TFlush::Now);
  } catch (const EFileError& failure) {
    throw EOleError("cannot save " + IndexPath() + ": " + failure.Reason(), STG_E_WRITEFAULT);
  }
}

std::unordered_map<std::string, std::string> TTaskStore::ReadIndex() {
  std::unordered_map<std::string, std::string> written;
  std::string text;
  try {
    text = ReadWholeFile(IndexPath(), 256 << 20);
  } catch (const EFileError&) {
    FSyncToken.emplace();
    return written;  // none kept yet
  }
  // What it holds belongs to the collection it came from.
  if (!text.starts_with(std::string(KIndexHeader) + "\nurl\t" + FServer.Url + "\n")) {
    FSyncToken.emplace();
    return written;
  }
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (line.starts_with("sync-token\t") && !FSyncToken) FSyncToken = std::string(line.substr(11));
    if (!line.starts_with("task\t")) continue;
    // task, UID, href, ETag
    const size_t uid = 5, href = line.find('\t', uid), etag = line.find('\t', href + 1);
    if (href == std::string_view::npos || etag == std::string_view::npos) continue;
    written.emplace(line.substr(uid, href - uid), line.substr(etag + 1));
    FIndexedHrefs.emplace(line.substr(href + 1, etag - href - 1), line.substr(uid, href - uid));
  }
  if (!FSyncToken) FSyncToken.emplace();
  return written;
}

std::string TTaskStore::SyncToken() {
  if (!FSyncToken) ReadIndex();
  return *FSyncToken;
}

void TTaskStore::SetSyncToken(const std::string& AToken) {
  if (!OnServer()) return;
  if (!IndexableText(AToken)) throw ELumetaError("a sync-token cannot hold a tab or a line break", E_INVALIDARG);
  Load();
  FSyncToken = AToken;
  WriteIndex();
}

std::optional<TTaskStore::TTaskChanges> TTaskStore::ChangesSince(const std::string& AToken) {
  if (!OnServer()) return std::nullopt;
  Load();
  TCalDavClient& client = Client();
  const std::string report = KXmlHead + "<D:sync-collection" + KNamespaces + "><D:sync-token>" + XmlEscaped(AToken) +
                             "</D:sync-token><D:sync-level>1</D:sync-level>"
                             "<D:prop><D:getetag/><C:calendar-data/></D:prop></D:sync-collection>";
  const THttpReply reply = client.Send("REPORT", {}, {{"Depth", "1"}, KXmlBody[0]}, report);
  // 403 or 409 with valid-sync-token: the server forgot the token; others answer 400 or 501.
  if (reply.Status == 0 || reply.Status == 401 || (reply.Status >= 500 && reply.Status != 501))
    throw EOleError(client.Failure("REPORT", {}, reply), STG_E_READFAULT);
  if (reply.Status != 207) return std::nullopt;
  TDavMultiStatus answer;
  try {
    answer = ParseMultiStatus(reply.Body);
  } catch (const ELumetaError& error) {
    throw EOleError("the CalDAV server " + FServer.Url + ": " + error.what(), STG_E_READFAULT);
  }
  if (answer.SyncToken.empty()) return std::nullopt;
  TTaskChanges changes;
  changes.Token = answer.SyncToken;
  for (const TDavResource& resource : answer.Resources) {
    const std::string href = HrefPath(resource.Href);
    if (href == client.CollectionPath()) continue;
    if (resource.Status == 404) {
      // Known from this run, else from the index of earlier ones.
      const auto path = std::find(FPaths.begin(), FPaths.end(), href);
      const auto indexed = FIndexedHrefs.find(href);
      if (path != FPaths.end()) changes.Removed.push_back(FTasks[static_cast<size_t>(path - FPaths.begin())].Uid);
      else if (indexed != FIndexedHrefs.end()) changes.Removed.push_back(indexed->second);
      continue;
    }
    std::string text = resource.CalendarData;
    std::string etag = resource.ETag;
    if (text.empty()) {  // a server that sends no data in a sync report
      const THttpReply item = client.Send("GET", href);
      if (item.Status == 404) continue;
      if (item.Status != 200) throw EOleError(client.Failure("GET", href, item), STG_E_READFAULT);
      text = item.Body;
      if (!item.ETag.empty()) etag = item.ETag;
    }
    if (const auto index = TakeServerTask(href, etag, text, {})) changes.Changed.push_back(*index);
  }
  FIndexChanged = true;
  if (FBatch == 0) WriteIndex();
  return changes;
}
