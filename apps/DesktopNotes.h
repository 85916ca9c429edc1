#pragma once
// The notes pane below the action panel: the notes of the first selected node, typed in place.
// What is typed becomes one undo step when the pane loses the focus or shows another node.
#include <QWidget>

#include <cstdint>

class QPlainTextEdit;
class TDesktopItemModel;

class TDesktopNotes : public QWidget {
 public:
  // The rows' model outlives the pane.
  explicit TDesktopNotes(TDesktopItemModel* AItems, QWidget* AParent = nullptr);
  // Keeps nothing: a closing window's notes were kept when the pane lost the focus.
  ~TDesktopNotes() override;

  // Shows the node's notes (-1: none, and the pane is read-only); what was typed for the node
  // shown before is kept first. Text being typed for the same node is left as it is.
  void ShowNode(int64_t AID);
  // Keeps what was typed, as one undo step; false when the edit was refused (and shown).
  bool Commit();
  int64_t NodeID() const { return FID; }
  QPlainTextEdit* Editor() const { return FEdit; }

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  TDesktopItemModel* FItems;
  QPlainTextEdit* FEdit;
  int64_t FID = -1;
  // The map FID belongs to: typed text never lands in a map opened since.
  const void* FModel = nullptr;
};
