#pragma once
// Keeping an object's subject alive through a stretch of changes.
#include "com/Unknown.h"

// A hold on the subject of the object it was asked of (a model): while the caller keeps it, the
// subject stays alive, so its rounds need not count a reference each; a reschedule run posts
// several changes per task. Each query makes a hold of its own, and letting it go ends it. An
// object without a subject, or one that cannot be held, answers no hold.
struct ISubjectHold : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("6C0E3B58-2F4A-4D8E-9B71-0A5C2E9F4D13");
};
