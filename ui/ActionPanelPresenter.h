#pragma once
// Fills a form's controls from an action record and writes them back, remembering which fields the
// user changed, so that only those reach the record. Talks to the form only through IActionView.
#include <QObject>

#include <bitset>
#include <string>

#include "contract/ActionAttributesIntf.h"
#include "ui/ActionViewIntf.h"

struct INode;

class TActionViewPresenter : public QObject {
  Q_OBJECT

 public:
  // Hooks the view's controls; the view must outlive the presenter.
  explicit TActionViewPresenter(IActionView* AView, QObject* AParent = nullptr);
  ~TActionViewPresenter() override;

  IActionView* GetView() const noexcept { return FView; }
  // Lists the standard priorities, then the texts of the map's "Action List" (found on ARoot).
  void Initialize(INode* ARoot);
  // Clears the view, forgets the changes and selects "Days" as the duration's unit, which then
  // counts as changed (a new record takes it); AModified becomes the modified state.
  void Clear(bool AModified);
  // True between a change by the user and the next fill or save.
  bool GetModified() const noexcept { return FModified; }
  // Shows the record; mixed fields show no value. Forgets the changes.
  void PopulateFromAction(IActionAttribute* AAction);
  // Shows the record in the fields the user has not changed, keeping the changes in progress.
  void RefreshFromAction(IActionAttribute* AAction);
  // Writes the changed fields into the record through its setters (Complete and Status keep each
  // other in step), marks them unmixed, and forgets the changes. Fields not changed are left as
  // they are, so that a property command made from the record leaves them alone on every node.
  // Answers the priority saved when it was typed rather than picked from the list (the map's
  // "Action List" should learn it), else empty.
  std::string SaveToAction(IActionAttribute* AAction);
  bool Changed(TActionField AField) const { return FChanged.test(static_cast<size_t>(AField)); }

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  void Hook();
  // The user changed the field: the record is modified.
  void Change(TActionField AField);
  void Fill(IActionAttribute* AAction, bool AKeepChanges);
  // Due minus start in days, at least 0, into the duration, in days.
  void UpdateDuration();

  IActionView* FView;
  std::bitset<KActionFieldCount> FChanged;
  bool FModified = false;
  bool FLoading = false;
};
