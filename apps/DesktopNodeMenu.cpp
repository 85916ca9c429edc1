#include "apps/DesktopNodeMenu.h"

#include <QInputDialog>
#include <QMenu>

#include <algorithm>

#include "apps/DesktopModel.h"
#include "session/HostDataEditor.h"

QMenu* MakeNodeMenu(TDesktopItemModel* AItems, int64_t AID, QWidget* AParent) {
  auto* menu = new QMenu(AParent);
  menu->setObjectName(QStringLiteral("NodeMenu"));
  TLumetaModel* model = AItems->Model();
  TLumetaNode* node = AItems->Node(AID);
  if (!model || !node) return menu;
  QMenu* categories = menu->addMenu(QStringLiteral("&Categories"));
  categories->setObjectName(QStringLiteral("CategoryMenu"));
  const std::vector<std::string>& held = node->ReadHostData().Categories;
  for (const std::string& name : THostDataEditor(model).MapCategories()) {
    QAction* action = categories->addAction(QString::fromStdString(name));
    const bool in = std::ranges::find(held, name) != held.end();
    action->setCheckable(true);
    action->setChecked(in);
    QObject::connect(action, &QAction::triggered, menu, [model, AID, name, in] {
      THostDataEditor editor(model);
      DesktopGuard([&] { CheckEdit(in ? editor.RemoveCategory(AID, name) : editor.AddCategory(AID, name)); });
    });
  }
  if (!categories->isEmpty()) categories->addSeparator();
  QAction* add = categories->addAction(QStringLiteral("&New Category..."));
  add->setObjectName(QStringLiteral("NewCategory"));
  QObject::connect(add, &QAction::triggered, menu, [model, AID, AParent] {
    bool ok = false;
    const QString text = QInputDialog::getText(AParent, QStringLiteral("New Category"),
                                               QStringLiteral("Put the node in the category:"), QLineEdit::Normal, {}, &ok);
    if (!ok || text.trimmed().isEmpty()) return;
    DesktopGuard([&] { CheckEdit(THostDataEditor(model).AddCategory(AID, text.toStdString())); });
  });
  return menu;
}
