// Fuzzes the task store's reader of task and contact files with libFuzzer. A file either reads as
// a task or is refused with a reason; a task that reads must be written back over its file and
// read again as the same task. A crash, a hang, a sanitizer report or a broken round trip is a
// finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>

#include "host/tasks/TaskCalendar.h"
#include "host/tasks/VCards.h"

namespace {

[[noreturn]] void Finding(const std::string& AWhat, const std::string& AText) {
  std::cerr << "finding: " << AWhat << "\n--- text ---\n" << AText << "\n---\n";
  std::abort();
}

// The first field that differs, or null.
const char* Difference(const TTaskRecord& A, const TTaskRecord& B) {
  if (A.Uid != B.Uid) return "UID";
  if (A.PercentComplete != B.PercentComplete) return "PERCENT-COMPLETE";
  if (A.Status != B.Status) return "STATUS";
  if (A.Importance != B.Importance) return "PRIORITY";
  if (A.Sequence != B.Sequence) return "SEQUENCE";
  if (A.StartDate != B.StartDate) return "DTSTART";
  if (A.DueDate != B.DueDate) return "DUE";
  return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const std::string text(reinterpret_cast<const char*>(AData), ASize);
  // A contact written out is one contact again, whatever its fields hold.
  for (const TContactRecord& contact : ParseVCards(text))
    if (ParseVCards(ContactToVCard(contact)).size() != 1) Finding("a contact writes as more or fewer than one", text);
  std::string error;
  const std::optional<TTaskRecord> task = TaskFromICalendar(text, error);
  if (!task) {
    if (error.empty()) Finding("refused without a reason", text);
    return 0;
  }
  if (task->PercentComplete < 0 || task->PercentComplete > 100) Finding("a percentage outside 0 to 100", text);
  const std::string saved = TaskToICalendar(*task, text);
  std::string again;
  const std::optional<TTaskRecord> reread = TaskFromICalendar(saved, again);
  if (!reread) Finding("a task written back cannot be read: " + again, saved);
  if (const char* field = Difference(*task, *reread)) Finding(std::string("a task written back has another ") + field, saved);
  return 0;
}
