// The task program's object model. Every class is private to the library: clients know only
// IDispatch and the member names.
#include <memory>
#include <string>
#include <vector>

#include "com/AtomicFile.h"
#include "com/DispatchObject.h"
#include "com/ErrorInfo.h"
#include "com/MailAddress.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "host/tasks/TaskProgram.h"
#include "host/tasks/TaskStore.h"
#include "settings/AutomationServers.h"

namespace {

// The task program's "no date": 1 January 4501.
const double KNoDate = EncodeDate(4501, 1, 1);

TOleVariant DateValue(double AValue) { return TOleVariant::FromDate(AValue > 0 ? AValue : KNoDate); }

double StoredDate(const TDispatchArgs& AArgs) {
  const double value = AArgs.Date(0);
  return value <= 0 || value >= KNoDate ? 0 : value;
}

int32_t InRange(const TDispatchArgs& AArgs, int32_t AMin, int32_t AMax) {
  const int32_t value = AArgs.Integer(0);
  if (value < AMin || value > AMax)
    AArgs.Fail("the value " + std::to_string(value) + " is outside " + std::to_string(AMin) + " to " +
               std::to_string(AMax));
  return value;
}

std::string Trim(std::string_view AText) {
  while (!AText.empty() && (AText.front() == ' ' || AText.front() == '\t')) AText.remove_prefix(1);
  while (!AText.empty() && (AText.back() == ' ' || AText.back() == '\t')) AText.remove_suffix(1);
  return std::string(AText);
}

// The 0-based position of a 1-based index argument among ACount items.
size_t OneBasedIndex(const TDispatchArgs& AArgs, size_t ACount) {
  AArgs.Expect(1, 1);
  const int32_t index = AArgs.Integer(0);
  if (index < 1 || static_cast<size_t>(index) > ACount)
    AArgs.Fail("index " + std::to_string(index) + " is outside 1 to " + std::to_string(ACount), DISP_E_BADINDEX);
  return static_cast<size_t>(index) - 1;
}

// ---- collections: Count and a 1-based Item

template <class T>
class TCollectionOf : public TDispatchObject<T> {
 public:
  using TMember = typename TDispatchObject<T>::TMember;
  explicit TCollectionOf(std::vector<TOleVariant> AItems) : FItems(std::move(AItems)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"Count", [](T& S, const TDispatchArgs& A) { A.Expect(0, 0); return TOleVariant(S.FItems.size()); }},
            {"Item", [](T& S, const TDispatchArgs& A) { return S.FItems[OneBasedIndex(A, S.FItems.size())]; }}};
  }

 protected:
  std::vector<TOleVariant> FItems;
};

class TFolders : public TCollectionOf<TFolders> {
 public:
  static constexpr std::string_view DispatchTypeName = "Folders";
  using TCollectionOf::TCollectionOf;
};

class TContactItems : public TCollectionOf<TContactItems> {
 public:
  static constexpr std::string_view DispatchTypeName = "Items";
  using TCollectionOf::TCollectionOf;
};

class TAddressLists : public TCollectionOf<TAddressLists> {
 public:
  static constexpr std::string_view DispatchTypeName = "AddressLists";
  using TCollectionOf::TCollectionOf;
};

class TAddressEntries : public TCollectionOf<TAddressEntries> {
 public:
  static constexpr std::string_view DispatchTypeName = "AddressEntries";
  using TCollectionOf::TCollectionOf;
};

// ---- contacts and address lists

class TContactItem : public TDispatchObject<TContactItem> {
 public:
  static constexpr std::string_view DispatchTypeName = "ContactItem";
  explicit TContactItem(TContactRecord AContact) : F(std::move(AContact)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"FullName", [](TContactItem& S, const TDispatchArgs&) { return TOleVariant(S.F.FullName); }},
            {"Email1Address", [](TContactItem& S, const TDispatchArgs&) { return TOleVariant(S.F.Email); }},
            {"CompanyName", [](TContactItem& S, const TDispatchArgs&) { return TOleVariant(S.F.Company); }},
            {"Department", [](TContactItem& S, const TDispatchArgs&) { return TOleVariant(S.F.Department); }},
            {"JobTitle", [](TContactItem& S, const TDispatchArgs&) { return TOleVariant(S.F.JobTitle); }},
            {"Suffix", [](TContactItem& S, const TDispatchArgs&) { return TOleVariant(S.F.Suffix); }}};
  }

 private:
  TContactRecord F;
};

class TAddressEntry : public TDispatchObject<TAddressEntry> {
 public:
  static constexpr std::string_view DispatchTypeName = "AddressEntry";
  explicit TAddressEntry(TContactRecord AContact) : F(std::move(AContact)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"Name", [](TAddressEntry& S, const TDispatchArgs&) { return TOleVariant(S.F.FullName); }},
            {"Address", [](TAddressEntry& S, const TDispatchArgs&) { return TOleVariant(S.F.Email); }}};
  }

 private:
  TContactRecord F;
};

class TAddressList : public TDispatchObject<TAddressList> {
 public:
  static constexpr std::string_view DispatchTypeName = "AddressList";
  explicit TAddressList(TAddressListRecord AList) : F(std::move(AList)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"Name", [](TAddressList& S, const TDispatchArgs&) { return TOleVariant(S.F.Name); }},
            {"AddressEntries", [](TAddressList& S, const TDispatchArgs&) {
               std::vector<TOleVariant> entries;
               for (const TContactRecord& entry : S.F.Entries) entries.emplace_back(make<TAddressEntry>(entry));
               return TOleVariant(make<TAddressEntries>(std::move(entries)));
             }}};
  }

 private:
  TAddressListRecord F;
};

// A folder of vCards; its sub-folders are the folders below it. A file ".itemtype" holding a number
// gives a folder another default item type (a folder of notes, say).
class TContactFolder : public TDispatchObject<TContactFolder> {
 public:
  static constexpr std::string_view DispatchTypeName = "MAPIFolder";
  TContactFolder(std::string APath, std::string AName) : FPath(std::move(APath)), FName(std::move(AName)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"Name", [](TContactFolder& S, const TDispatchArgs&) { return TOleVariant(S.FName); }},
            {"EntryID", [](TContactFolder& S, const TDispatchArgs&) { return TOleVariant(S.FPath); }},
            {"DefaultItemType", [](TContactFolder& S, const TDispatchArgs&) { return TOleVariant(S.ItemType()); }},
            {"Items", [](TContactFolder& S, const TDispatchArgs&) {
               std::vector<TOleVariant> items;
               for (TContactRecord& contact : ReadContactFolder(S.FPath)) items.emplace_back(make<TContactItem>(contact));
               return TOleVariant(make<TContactItems>(std::move(items)));
             }},
            {"Folders", [](TContactFolder& S, const TDispatchArgs&) {
               std::vector<TOleVariant> folders;
               for (const std::string& path : SubFolders(S.FPath))
                 folders.emplace_back(make<TContactFolder>(path, path.substr(path.rfind('/') + 1)));
               return TOleVariant(make<TFolders>(std::move(folders)));
             }}};
  }

 private:
  int32_t ItemType() const {
    try {
      return ParseInteger<int32_t>(Trim(ReadWholeFile(FPath + "/.itemtype", 64)), TNumberSyntax::Lenient)
          .value_or(TaskProgramContactItem);
    } catch (const EFileError&) {
      return TaskProgramContactItem;
    }
  }

  std::string FPath;
  std::string FName;
};

// ---- task items

class TRecipient : public TDispatchObject<TRecipient> {
 public:
  static constexpr std::string_view DispatchTypeName = "Recipient";
  // "Name <address>", an address, or a name to look up among the contacts.
  static TTaskPerson Parse(const TDispatchArgs& AArgs, const std::string& AText) {
    TTaskPerson person;
    const size_t open = AText.rfind('<');
    if (open != std::string::npos && !AText.empty() && AText.back() == '>') {
      person = {Trim(std::string_view(AText).substr(0, open)), AText.substr(open + 1, AText.size() - open - 2)};
      if (person.Name.empty()) person.Name = person.Address;
    } else if (AText.find('@') != std::string::npos) {
      person = {AText, AText};
    } else {
      person.Name = AText;
    }
    if (!person.Address.empty())
      if (const std::string problem = MailAddressProblem(person.Address); !problem.empty())
        AArgs.Fail("the e-mail address '" + PrintableText(person.Address) + "' " + problem);
    return person;
  }

  TRecipient(std::shared_ptr<TTaskStore> AStore, TTaskPerson APerson) : FStore(std::move(AStore)), FPerson(std::move(APerson)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"Name", [](TRecipient& S, const TDispatchArgs&) { return TOleVariant(S.FPerson.Name); }},
            {"Address", [](TRecipient& S, const TDispatchArgs&) { return TOleVariant(S.FPerson.Address); }},
            {"Resolved", [](TRecipient& S, const TDispatchArgs&) { return TOleVariant(!S.FPerson.Address.empty()); }},
            {"Resolve", [](TRecipient& S, const TDispatchArgs&) { return TOleVariant(S.Resolve()); }}};
  }

  bool Resolve() {
    if (FPerson.Address.empty())
      if (const auto person = FStore->Resolve(FPerson.Name)) FPerson = *person;
    return !FPerson.Address.empty();
  }
  const TTaskPerson& Person() const noexcept { return FPerson; }

 private:
  std::shared_ptr<TTaskStore> FStore;
  TTaskPerson FPerson;
};

class TRecipients : public TDispatchObject<TRecipients> {
 public:
  static constexpr std::string_view DispatchTypeName = "Recipients";
  explicit TRecipients(std::shared_ptr<TTaskStore> AStore) : FStore(std::move(AStore)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"Count", [](TRecipients& S, const TDispatchArgs& A) { A.Expect(0, 0); return TOleVariant(S.FList.size()); }},
            {"Item", [](TRecipients& S, const TDispatchArgs& A) { return TOleVariant(S.FList[S.Index(A)]); }},
            {"Add", [](TRecipients& S, const TDispatchArgs& A) {
               A.Expect(1, 1);
               const std::string text = Trim(A.String(0));
               if (text.empty()) A.Fail("a recipient needs a name or an address");
               S.FList.push_back(make<TRecipient>(S.FStore, TRecipient::Parse(A, text)));
               return TOleVariant(S.FList.back());
             }},
            {"Remove", [](TRecipients& S, const TDispatchArgs& A) {
               S.FList.erase(S.FList.begin() + static_cast<std::ptrdiff_t>(S.Index(A)));
               return TOleVariant();
             }}};
  }

  const std::vector<ComPtr<TRecipient>>& List() const noexcept { return FList; }

 private:
  size_t Index(const TDispatchArgs& AArgs) const { return OneBasedIndex(AArgs, FList.size()); }

  std::shared_ptr<TTaskStore> FStore;
  std::vector<ComPtr<TRecipient>> FList;
};

class TTaskItem : public TDispatchObject<TTaskItem> {
 public:
  static constexpr std::string_view DispatchTypeName = "TaskItem";
  TTaskItem(std::shared_ptr<TTaskStore> AStore, TTaskRecord ARecord)
      : FStore(std::move(AStore)),
        FRecord(std::move(ARecord)),
        FRecipients(make<TRecipients>(FStore)),
        FSaved(!FRecord.Uid.empty()) {}

  static std::vector<TMember> DispatchMembers() {
    using S = TTaskItem;
    using A = const TDispatchArgs&;
    return {
        {"EntryID", [](S& s, A) { return TOleVariant(s.FRecord.Uid); }},
        // A client may choose the UID of a task it has not saved yet, to relate tasks to it first.
        {"UID", [](S& s, A) { return TOleVariant(s.FRecord.Uid); },
         [](S& s, A a) {
           if (s.FSaved) a.Fail("a saved task keeps its UID", E_FAIL);
           const std::string uid = Trim(a.String(0));
           if (uid.empty()) a.Fail("a UID cannot be empty");
           s.FRecord.Uid = uid;
         }},
        // RELATED-TO: a kind (PARENT, FINISHTOSTART, ...) and the other task's UID.
        {"AddRelation", [](S& s, A a) {
           a.Expect(2, 2);
           std::string type = a.String(0);
           for (char& c : type) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
           const std::string uid = Trim(a.String(1));
           if (type.empty() || uid.empty() || type.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ-") != std::string::npos)
             a.Fail("a relation needs a kind of letters and a UID");
           s.FRecord.Relations.push_back({type, uid});
           return TOleVariant();
         }},
        {"RelationCount", [](S& s, A) { return TOleVariant(s.FRecord.Relations.size()); }},
        // Where the stored copy is (a file, or its href on a server), its ETag there (a folder: ""),
        // and when it last changed there (UTC); empty and no date while the task is not saved.
        {"Href", [](S& s, A) {
           const auto index = s.Stored();
           return TOleVariant(index ? s.FStore->TaskPath(*index) : std::string());
         }},
        {"ETag", [](S& s, A) {
           const auto index = s.Stored();
           return TOleVariant(index ? s.FStore->TaskETag(*index) : std::string());
         }},
        {"LastModified", [](S& s, A) {
           const auto index = s.Stored();
           return DateValue(index ? s.FStore->TaskChangedAt(*index) : 0);
         }},
        {"Subject", [](S& s, A) { return TOleVariant(s.FRecord.Subject); },
         [](S& s, A a) { s.FRecord.Subject = a.String(0); }},
        {"Body", [](S& s, A) { return TOleVariant(s.FRecord.Body); }, [](S& s, A a) { s.FRecord.Body = a.String(0); }},
        {"Categories", [](S& s, A) { return TOleVariant(s.FRecord.Categories); },
         [](S& s, A a) { s.FRecord.Categories = a.String(0); }},
        {"PercentComplete", [](S& s, A) { return TOleVariant(s.FRecord.PercentComplete); },
         [](S& s, A a) { s.FRecord.PercentComplete = InRange(a, 0, 100); }},
        {"Status", [](S& s, A) { return TOleVariant(s.FRecord.Status); },
         [](S& s, A a) { s.FRecord.Status = InRange(a, tsNotStarted, tsDeferred); }},
        {"Importance", [](S& s, A) { return TOleVariant(s.FRecord.Importance); },
         [](S& s, A a) { s.FRecord.Importance = InRange(a, tiLow, tiHigh); }},
        {"StartDate", [](S& s, A) { return DateValue(s.FRecord.StartDate); },
         [](S& s, A a) { s.FRecord.StartDate = StoredDate(a); }},
        {"DueDate", [](S& s, A) { return DateValue(s.FRecord.DueDate); },
         [](S& s, A a) { s.FRecord.DueDate = StoredDate(a); }},
        {"DateCompleted", [](S& s, A) { return DateValue(s.FRecord.DateCompleted); },
         [](S& s, A a) { s.FRecord.DateCompleted = StoredDate(a); }},
        {"Complete", [](S& s, A) { return TOleVariant(s.FRecord.Status == tsComplete); }},
        // The IANA zone of the task's dates ("Europe/Berlin"); empty for floating local times.
        {"TimeZone", [](S& s, A) { return TOleVariant(s.FRecord.TimeZone); },
         [](S& s, A a) {
           const std::string name = Trim(a.String(0));
           if (!name.empty() && !KnownTimeZone(name))
             a.Fail("'" + PrintableText(name) + "' is not a time zone: give an IANA name such as Europe/Berlin");
           s.FRecord.TimeZone = name;
         }},
        // What a client last wrote into the task, to tell whether its source changed since.
        {"ExportKey", [](S& s, A) { return TOleVariant(s.FRecord.ExportKey); },
         [](S& s, A a) { s.FRecord.ExportKey = a.String(0); }},
        // Every field back to a new task's, before a client writes the task anew; UID and SEQUENCE stay.
        {"Clear", [](S& s, A a) {
           a.Expect(0, 0);
           TTaskRecord cleared;
           cleared.Uid = s.FRecord.Uid;
           cleared.Sequence = s.FRecord.Sequence;
           s.FRecord = std::move(cleared);
           return TOleVariant();
         }},
        {"Cancelled", [](S& s, A) { return TOleVariant(s.FRecord.Cancelled); }},
        // Withdraws a saved task: saved as cancelled, and its attendees told.
        {"Cancel", [](S& s, A a) {
           a.Expect(0, 0);
           if (!s.FSaved) a.Fail("only a saved task can be cancelled", E_FAIL);
           s.FStore->CancelTask(s.FRecord);
           return TOleVariant();
         }},
        {"Recipients", [](S& s, A) { return TOleVariant(s.FRecipients); }},
        {"Assign", [](S& s, A a) { a.Expect(0, 0); s.FAssigned = true; return TOleVariant(); }},
        {"Send", [](S& s, A a) { a.Expect(0, 0); s.Send(a); return TOleVariant(); }},
        {"Save", [](S& s, A a) {
           a.Expect(0, 0);
           s.FStore->SaveTask(s.FRecord);
           s.FSaved = true;
           return TOleVariant();
         }},
        {"Copy", [](S& s, A a) {
           a.Expect(0, 0);
           TTaskRecord copy = s.FRecord;
           copy.Uid.clear();
           copy.Sequence = 0;
           return TOleVariant(make<TTaskItem>(s.FStore, std::move(copy)));
         }},
    };
  }

 private:
  std::optional<size_t> Stored() const { return FRecord.Uid.empty() ? std::nullopt : FStore->FindByUid(FRecord.Uid); }

  void Send(const TDispatchArgs& AArgs) {
    if (!FAssigned) AArgs.Fail("only an assigned task can be sent: call Assign first", E_FAIL);
    if (FRecipients->List().empty()) AArgs.Fail("the task has no recipients", E_FAIL);
    std::vector<TTaskPerson> people;
    for (const ComPtr<TRecipient>& recipient : FRecipients->List()) {
      if (!recipient->Resolve()) AArgs.Fail("no e-mail address is known for '" + recipient->Person().Name + "'", E_FAIL);
      people.push_back(recipient->Person());
    }
    int& failing = FStore->Faults().Send;
    if (failing != 0) {
      if (failing > 0) --failing;
      AArgs.Fail("the mail system refused the message (injected fault)", E_FAIL);
    }
    FStore->SendTask(FRecord, people);
    FSaved = true;
  }

  std::shared_ptr<TTaskStore> FStore;
  TTaskRecord FRecord;
  ComPtr<TRecipients> FRecipients;
  bool FAssigned = false;
  bool FSaved = false;
};

// A condition of Find: [Field] = "value" or [Field] <> "value", single quotes also allowed. The
// value runs to the last quote, so a subject with quotes in it is found as it was written.
struct TCondition {
  std::string Field;
  bool Equal = true;
  std::string Value;
};

TCondition ParseCondition(const TDispatchArgs& AArgs, const std::string& AFilter) {
  std::string_view text = AFilter;
  const auto fail = [&] {
    AArgs.Fail("cannot parse the condition '" + AFilter + "': write [Field] = \"value\"");
  };
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty() || text.front() != '[') fail();
  const size_t close = text.find(']');
  if (close == std::string_view::npos) fail();
  TCondition condition{std::string(text.substr(1, close - 1)), true, {}};
  text.remove_prefix(close + 1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.starts_with("<>")) {
    condition.Equal = false;
    text.remove_prefix(2);
  } else if (text.starts_with("=")) {
    text.remove_prefix(1);
  } else {
    fail();
  }
  const std::string rest = Trim(text);
  if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
    if (rest.size() < 2 || rest.back() != rest.front()) fail();
    condition.Value = rest.substr(1, rest.size() - 2);
  } else {
    condition.Value = rest;
  }
  return condition;
}

// A field of a task as Find compares it: text, numbers in decimal.
std::optional<std::string> FieldText(const TTaskRecord& ATask, const std::string& AField) {
  const std::string field = FoldAscii(AField);
  if (field == "subject") return ATask.Subject;
  if (field == "body") return ATask.Body;
  if (field == "categories") return ATask.Categories;
  if (field == "entryid") return ATask.Uid;
  if (field == "status") return std::to_string(ATask.Status);
  if (field == "importance") return std::to_string(ATask.Importance);
  if (field == "percentcomplete") return std::to_string(ATask.PercentComplete);
  return std::nullopt;
}

class TRemovedTasks : public TCollectionOf<TRemovedTasks> {
 public:
  static constexpr std::string_view DispatchTypeName = "RemovedTasks";
  using TCollectionOf::TCollectionOf;
};

class TTaskChangeList : public TCollectionOf<TTaskChangeList> {
 public:
  static constexpr std::string_view DispatchTypeName = "TaskChanges";
  TTaskChangeList(std::string AToken, std::vector<TOleVariant> AChanged, std::vector<TOleVariant> ARemoved)
      : TCollectionOf(std::move(AChanged)), FToken(std::move(AToken)), FRemoved(make<TRemovedTasks>(std::move(ARemoved))) {}

  static std::vector<TMember> DispatchMembers() {
    std::vector<TMember> members = TCollectionOf::DispatchMembers();
    members.push_back({"Token", [](TTaskChangeList& S, const TDispatchArgs&) { return TOleVariant(S.FToken); }});
    members.push_back({"Removed", [](TTaskChangeList& S, const TDispatchArgs&) { return TOleVariant(S.FRemoved); }});
    return members;
  }

 private:
  std::string FToken;
  ComPtr<TRemovedTasks> FRemoved;
};

// A save the server answered: EntryID, and Refusal, empty when the task landed.
class TLandedTask : public TDispatchObject<TLandedTask> {
 public:
  static constexpr std::string_view DispatchTypeName = "LandedTask";
  explicit TLandedTask(TTaskStore::TLanded ALanded) : F(std::move(ALanded)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"EntryID", [](TLandedTask& S, const TDispatchArgs&) { return TOleVariant(S.F.Uid); }},
            {"Refusal", [](TLandedTask& S, const TDispatchArgs&) { return TOleVariant(S.F.Refusal); }}};
  }

 private:
  TTaskStore::TLanded F;
};

class TLandedTasks : public TCollectionOf<TLandedTasks> {
 public:
  static constexpr std::string_view DispatchTypeName = "LandedTasks";
  using TCollectionOf::TCollectionOf;
};

class TTaskItems : public TDispatchObject<TTaskItems> {
 public:
  static constexpr std::string_view DispatchTypeName = "Items";
  explicit TTaskItems(std::shared_ptr<TTaskStore> AStore) : FStore(std::move(AStore)) {}

  static std::vector<TMember> DispatchMembers() {
    using S = TTaskItems;
    using A = const TDispatchArgs&;
    return {{"Count", [](S& s, A a) { a.Expect(0, 0); return TOleVariant(s.FStore->TaskCount()); }},
            {"Item", [](S& s, A a) { return s.ItemAt(OneBasedIndex(a, s.FStore->TaskCount())); }},
            {"Add", [](S& s, A a) {
               a.Expect(0, 1);
               if (a.Given(0) && a.Integer(0) != TaskProgramTaskItem)
                 a.Fail("this folder holds task items (3), not items of type " + std::to_string(a.Integer(0)));
               return TOleVariant(make<TTaskItem>(s.FStore, TTaskRecord{}));
             }},
            {"Find", [](S& s, A a) {
               a.Expect(1, 1);
               const TCondition condition = ParseCondition(a, a.String(0));
               if (!FieldText(TTaskRecord{}, condition.Field)) a.Fail("cannot filter on the field [" + condition.Field + "]");
               if (condition.Equal && FoldAscii(condition.Field) == "subject") {
                 const auto found = s.FStore->FindBySubject(condition.Value);
                 return found ? s.ItemAt(*found) : TOleVariant();
               }
               if (condition.Equal && FoldAscii(condition.Field) == "entryid") {
                 const auto found = s.FStore->FindByUid(condition.Value);
                 return found ? s.ItemAt(*found) : TOleVariant();
               }
               const std::string wanted = FoldAscii(condition.Value);
               for (size_t i = 0; i < s.FStore->TaskCount(); ++i)
                 if ((FoldAscii(*FieldText(s.FStore->Task(i), condition.Field)) == wanted) == condition.Equal)
                   return s.ItemAt(i);
               return TOleVariant();
             }},
            // What changed on the server since a sync-token ("": everything): an object with Token
            // (to keep for the next call), Count and Item (the added or changed task items) and
            // Removed (the UIDs of removed tasks, Count and Item). Empty when the store cannot
            // tell (a folder, a server without tokens, a token it forgot): then compare every task.
            {"ChangesSince", [](S& s, A a) {
               a.Expect(1, 1);
               const auto changes = s.FStore->ChangesSince(a.String(0));
               if (!changes) return TOleVariant();
               std::vector<TOleVariant> changed, removed;
               for (const size_t index : changes->Changed) changed.push_back(s.ItemAt(index));
               for (const std::string& uid : changes->Removed) removed.emplace_back(uid);
               return TOleVariant(make<TTaskChangeList>(changes->Token, std::move(changed), std::move(removed)));
             }}};
  }

 private:
  TOleVariant ItemAt(size_t AIndex) { return make<TTaskItem>(FStore, FStore->Task(AIndex)); }

  std::shared_ptr<TTaskStore> FStore;
};

class TTaskFolder : public TDispatchObject<TTaskFolder> {
 public:
  static constexpr std::string_view DispatchTypeName = "MAPIFolder";
  explicit TTaskFolder(std::shared_ptr<TTaskStore> AStore) : FStore(std::move(AStore)) {}

  static std::vector<TMember> DispatchMembers() {
    return {{"Name", [](TTaskFolder&, const TDispatchArgs&) { return TOleVariant("Tasks"); }},
            {"EntryID", [](TTaskFolder& S, const TDispatchArgs&) { return TOleVariant(S.FStore->TasksFolder()); }},
            {"DefaultItemType", [](TTaskFolder&, const TDispatchArgs&) { return TOleVariant(TaskProgramTaskItem); }},
            {"Items", [](TTaskFolder& S, const TDispatchArgs&) { return TOleVariant(make<TTaskItems>(S.FStore)); }},
            {"Folders", [](TTaskFolder&, const TDispatchArgs&) {
               return TOleVariant(make<TFolders>(std::vector<TOleVariant>{}));
             }}};
  }

 private:
  std::shared_ptr<TTaskStore> FStore;
};

// ---- session

class TNameSpace : public TDispatchObject<TNameSpace> {
 public:
  static constexpr std::string_view DispatchTypeName = "NameSpace";
  explicit TNameSpace(std::shared_ptr<TTaskStore> AStore) : FStore(std::move(AStore)) {}

  static std::vector<TMember> DispatchMembers() {
    using S = TNameSpace;
    using A = const TDispatchArgs&;
    return {{"Logon", [](S& s, A a) {
               // Profile, password, show a dialog, new session: there is one profile and no dialog.
               a.Expect(0, 4);
               if (s.FStore->Faults().Logon) a.Fail("the profile refuses the logon (injected fault)", E_ACCESSDENIED);
               s.FLoggedOn = true;
               return TOleVariant();
             }},
            {"LogOff", [](S& s, A a) { a.Expect(0, 0); s.FLoggedOn = false; return TOleVariant(); }},
            {"LoggedOn", [](S& s, A) { return TOleVariant(s.FLoggedOn); }},
            {"GetDefaultFolder", [](S& s, A a) {
               a.Expect(1, 1);
               const int32_t folder = a.Integer(0);
               if (folder == TaskProgramTasksFolder) return TOleVariant(make<TTaskFolder>(s.FStore));
               if (folder == TaskProgramContactsFolder)
                 return TOleVariant(make<TContactFolder>(s.FStore->ContactsFolder(), "Contacts"));
               a.Fail("there is no default folder " + std::to_string(folder) + " (10 contacts, 13 tasks)");
             }},
            // Who sends the assigned tasks; an empty address when nobody was named.
            {"CurrentUser", [](S& s, A) {
               const TTaskProgramOwner owner = ReadTaskProgramOwner();
               return TOleVariant(make<TRecipient>(s.FStore, TTaskPerson{owner.Name, owner.Address}));
             }},
            {"AddressLists", [](S& s, A) {
               std::vector<TOleVariant> lists;
               for (const TAddressListRecord& list : s.FStore->AddressLists()) lists.emplace_back(make<TAddressList>(list));
               return TOleVariant(make<TAddressLists>(std::move(lists)));
             }}};
  }

 private:
  std::shared_ptr<TTaskStore> FStore;
  bool FLoggedOn = false;
};

class TTaskApplication : public TDispatchObject<TTaskApplication> {
 public:
  static constexpr std::string_view DispatchTypeName = "Application";
  TTaskApplication()
      : FStore(std::make_shared<TTaskStore>(TTaskStore::DefaultFolder(), TTaskFaults::FromEnvironment(),
                                            ReadCalDavSettings())) {}

  static std::vector<TMember> DispatchMembers() {
    using S = TTaskApplication;
    using A = const TDispatchArgs&;
    return {{"GetNamespace", [](S& s, A a) {
               a.Expect(1, 1);
               if (FoldAscii(a.String(0)) != "mapi") a.Fail("the only namespace is \"MAPI\"");
               if (!s.FNameSpace) s.FNameSpace = make<TNameSpace>(s.FStore);
               return TOleVariant(s.FNameSpace);
             }},
            {"Quit", [](S& s, A a) {
               a.Expect(0, 0);
               for (; s.FBatches > 0; --s.FBatches) s.FStore->EndBatch();
               s.FNameSpace = nullptr;
               RevokeActiveObject(TaskProgramClassID, static_cast<IDispatch*>(&s));
               return TOleVariant();
             }},
            {"Name", [](S&, A) { return TOleVariant("Lumeta Task Program"); }},
            // Saves between the two reach the disk together at EndBatch; Quit ends a batch left open.
            {"BeginBatch", [](S& s, A a) { a.Expect(0, 0); s.FStore->BeginBatch(); ++s.FBatches; return TOleVariant(); }},
            {"EndBatch", [](S& s, A a) {
               a.Expect(0, 0);
               if (s.FBatches > 0) {
                 --s.FBatches;
                 s.FStore->EndBatch();
               }
               return TOleVariant();
             }},
            // The saves a server answered since the last call (a save inside a batch is not waited
            // for): LandedTask items; with true, after every save in flight was answered.
            {"TakeLanded", [](S& s, A a) {
               a.Expect(0, 1);
               std::vector<TOleVariant> landed;
               for (TTaskStore::TLanded& task : s.FStore->TakeLanded(a.Given(0) && a.Boolean(0)))
                 landed.emplace_back(make<TLandedTask>(std::move(task)));
               return TOleVariant(make<TLandedTasks>(std::move(landed)));
             }},
            // A client's record of a run in progress ("" when none); writing "" removes it.
            {"Journal", [](S& s, A a) {
               a.Expect(1, 1);
               return TOleVariant(s.FStore->Journal(a.String(0)));
             }},
            {"SetJournal", [](S& s, A a) {
               a.Expect(2, 2);
               s.FStore->SetJournal(a.String(0), a.String(1));
               return TOleVariant();
             }},
            // Names the organizer of the tasks it sends (name, e-mail address), kept in the settings.
            {"SetOwner", [](S&, A a) {
               a.Expect(2, 2);
               try {
                 WriteTaskProgramOwner({Trim(a.String(0)), Trim(a.String(1))});
               } catch (const ELumetaError& error) {
                 a.Fail(error.what());
               }
               return TOleVariant();
             }},
            {"Version", [](S&, A) { return TOleVariant(std::to_string(TaskProgramMajorVersion) + ".0.0.0"); }},
            {"StoreFolder", [](S& s, A) { return TOleVariant(s.FStore->Folder()); }},
            // The calendar's URL when the tasks are on a CalDAV server, else "".
            {"StoreServer", [](S& s, A) { return TOleVariant(s.FStore->Server().Url); }},
            // Asks the server for the calendar, making it when the argument is true; one line
            // saying what answered. A folder store answers with its folder.
            {"CheckStore", [](S& s, A a) {
               a.Expect(0, 1);
               if (!s.FStore->OnServer()) return TOleVariant("folder " + s.FStore->Folder());
               return TOleVariant(s.FStore->CheckServer(a.Given(0) && a.Boolean(0)));
             }},
            // The sync-token a client keeps between runs (RFC 6578), kept in the store's index.
            {"SyncToken", [](S& s, A) { return TOleVariant(s.FStore->SyncToken()); },
             [](S& s, A a) { s.FStore->SetSyncToken(a.String(0)); }}};
  }

 private:
  std::shared_ptr<TTaskStore> FStore;
  ComPtr<TNameSpace> FNameSpace;
  int FBatches = 0;
};

}  // namespace

// A new application registers itself as running until it quits, as the desktop program does.
extern "C" __attribute__((visibility("default"))) HRESULT LumetaCreateAutomationObject(const GUID* AClassID,
                                                                                      IUnknown** AObject) noexcept {
  return CallGuarded(
      [&] {
        if (!AObject) throw ELumetaError("no place for the object", E_POINTER);
        *AObject = nullptr;
        if (!AClassID || *AClassID != TaskProgramClassID)
          throw EClassNotFound("the task program serves no class " + (AClassID ? GuidToString(*AClassID) : "(none)"));
        ComPtr<TTaskApplication> application = make<TTaskApplication>();
        RegisterActiveObject(TaskProgramClassID, static_cast<IDispatch*>(application.get()));
        *AObject = static_cast<IDispatch*>(application.detach());
      },
      GUID_NULL, "task program");
}
