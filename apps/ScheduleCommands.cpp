#include "apps/ScheduleCommands.h"

#include <ostream>

#include "apps/LumetaShell.h"
#include "com/OleDate.h"
#include "contract/ActionAttributesIntf.h"
#include "host/CriticalPath.h"

void RunCriticalCommand(TLumetaModel* AModel, std::ostream& AOut) {
  const TCriticalPath path(AModel->Map());
  for (const int64_t id : path.CriticalTasks()) {
    TLumetaNode* node = AModel->Map().GetNode(id);
    ComPtr<IProperty> property = node->FindProperty(KActionPropertyName);
    ComPtr<IActionAttribute> action = property ? property.try_as<IActionAttribute>() : nullptr;
    AOut << id << ' ' << DateToIsoText(action ? action->GetStartDate() : 0) << ' '
         << DateToIsoText(action ? action->GetCompletedDate() : 0) << ' ' << VisibleLine(node->Title()) << '\n';
  }
}
