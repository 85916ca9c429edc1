#include "apps/DesktopEditors.h"

#include <QStringList>

#include "apps/DesktopWindow.h"
#include "ui/ActionPanelForm.h"
#include "ui/EditLinks.h"

namespace {

// A cell offers an empty text where the lists say "Unassigned": the cell shows nothing for it.
QStringList WithBlankFirst(QStringList AItems) {
  AItems.front().clear();
  return AItems;
}

}  // namespace

ComPtr<IVTEditLink> MakeDesktopEditor(int AColumn) {
  switch (AColumn) {
    case dcStart:
    case dcDue:
    case dcCompleted: return make<TDateEditLink>(TDateEditLink::dkDate, QChar(), QStringLiteral("yyyy-MM-dd"));
    case dcComplete: return make<TSpinEditLink>(true, 100, 0, 5);
    case dcStatus:
      return make<TComboEditLink>(WithBlankFirst(StandardStatuses()), false, csDropDownList);
    case dcPriority: return make<TComboEditLink>(WithBlankFirst(StandardPriorities()));
    default: return make<TEditEditLink>();
  }
}
