#pragma once
// The predecessor grid of the Edit Action dialog: a working copy of the edited task's predecessor
// links, shown one link a row with the task's ID, name and link type, and edited in place. Every
// edit is checked by the link rules, whose warnings go through the dialog service; the map itself
// is never touched, the dialog turns the copy into link commands on OK.
#include <QStringList>

#include <map>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaTypes.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "treegrid/VirtualTreeGrid.h"

class TComboEditLink;

// A node's title as plain text; empty for no node.
std::string PlainTitle(INode* ANode);

// The node's predecessor links in list order; links to nodes that are gone are passed over.
std::vector<TTaskLinkEntry> PredecessorsOf(INode* ANode);

class TPredecessorGrid : public TVirtualTreeGrid {
  Q_OBJECT

 public:
  // A row of the working copy. A deleted link stays in the copy, hidden, so that typing its task
  // again brings it back with its place.
  struct TPredLink {
    ComPtr<INode> Node;
    TTaskLinkType Type = ltFinishToStart;
    bool Deleted = false;
  };

  explicit TPredecessorGrid(QWidget* AParent = nullptr);
  ~TPredecessorGrid() override;

  // Takes a fresh copy of the edited node's predecessor links. A node with subtasks is offered
  // only the link types a summary task may have.
  void Load(ILumetaModel* AModel, INode* AEdited);
  const std::vector<TPredLink>& Links() const { return FPreds; }

  // The captions of the four link types, by TTaskLinkType, then "(None)".
  static const QStringList& LinkCaptions();
  static const QString& NoneCaption();

 private:
  QString CellText(TVirtualNode* ANode, int AColumn);
  bool CellEditable(TVirtualNode* ANode, int AColumn);
  ComPtr<IVTEditLink> CellEditor(TVirtualNode* ANode, int AColumn);
  void CellNewText(TVirtualNode* ANode, int AColumn, const QString& AText);
  // The link a row shows; null for the empty row and the rows after it.
  TPredLink* LinkOfRow(int ARow);
  int VisibleLinkCount() const;
  // Makes ANode the row's predecessor (a new one on the empty row), unless the link rules refuse.
  void ApplyPredecessor(int ARow, INode* ANode);
  void BuildTaskList();

  ComPtr<ILumetaModel> FModel;
  ComPtr<INode> FEdited;
  std::vector<TPredLink> FPreds;
  std::map<TTaskLinkType, QString> FLinkCaptionMappings;
  QStringList FTaskList;
  std::map<int, std::string> FTaskIndexMappings;
  bool FTaskListBuilt = false;
  ComPtr<TComboEditLink> FLinkComboEditLink;
  ComPtr<TComboEditLink> FTaskComboEditLink;
};
