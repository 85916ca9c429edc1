#include "apps/DesktopEditors.h"

#include <QStringList>

#include "apps/DesktopWindow.h"
#include "ui/EditLinks.h"

ComPtr<IVTEditLink> MakeDesktopEditor(int AColumn) {
  switch (AColumn) {
    case dcStart:
    case dcDue:
    case dcCompleted: return make<TDateEditLink>(TDateEditLink::dkDate, QChar(), QStringLiteral("yyyy-MM-dd"));
    case dcComplete: return make<TSpinEditLink>(true, 100, 0, 5);
    case dcStatus:
      return make<TComboEditLink>(QStringList{QString(), QStringLiteral("Not Started"), QStringLiteral("In Progress"),
                                              QStringLiteral("Completed"), QStringLiteral("Waiting on Someone Else"),
                                              QStringLiteral("Deferred")},
                                  false, csDropDownList);
    case dcPriority:
      return make<TComboEditLink>(QStringList{QString(), QStringLiteral("High"), QStringLiteral("Medium"),
                                              QStringLiteral("Low")});
    default: return make<TEditEditLink>();
  }
}
