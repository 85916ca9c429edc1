#pragma once
// Puts an action record presenter on a form's controls: shows each field as the presenter holds
// it (disabled where the presenter refuses edits) and reports the user's edits to it. The Edit
// Action dialog and the action panel both answer IActionView, so both are driven by this.
#include <QObject>

#include <string>
#include <vector>

#include "ui/ActionRecordPresenter.h"
#include "ui/ActionViewIntf.h"

class QDateTimeEdit;

class TActionViewPresenter : public QObject {
  Q_OBJECT

 public:
  // Hooks the view's controls; the view must outlive the presenter.
  TActionViewPresenter(IActionView* AView, TActionRecordPresenter::TForm AForm, QObject* AParent = nullptr);
  ~TActionViewPresenter() override;

  IActionView* GetView() const noexcept { return FView; }
  TActionRecordPresenter& Record() noexcept { return FRecord; }

  // Shows the selection's record (TActionRecordPresenter::Open).
  void Open(ILumetaModel* AModel, ISelection* ASelection, IActionAttribute* AAction, bool AKeepTouched = false);
  // Shows AEmpty, to be saved over what the nodes hold.
  void Clear(IActionAttribute* AEmpty);
  // Shows no record.
  void Reset();
  void RestoreDate(int32_t ACode);
  bool GetModified() const noexcept { return FRecord.Modified(); }
  // Writes the edits into the record; answers the priority typed that the map's list lacks.
  std::string SaveToAction(IActionAttribute* AAction);

 Q_SIGNALS:
  // A field shows a new value or state (also after a rule changed it).
  void FieldShown(TActionField AField);

 protected:
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  void Hook();
  void ShowAll();
  void Show(TActionField AField);
  void ShowChanged(const std::vector<TActionField>& AFields);
  void Edited(TActionField AField, const TActionFieldValue& AValue, bool ATimeGiven = true);
  void Checked(TActionField AField, bool AChecked);
  void PickerEdited(QDateTimeEdit* APicker, TActionField AField);

  IActionView* FView;
  TActionRecordPresenter FRecord;
  bool FLoading = false;
  // A date typed digit by digit passes through dates nobody meant: it counts once the picker is left.
  QDateTimeEdit* FPendingPicker = nullptr;
};

// Date-times of the map (days since 30 December 1899, the fraction the time of day) as pickers
// show them, and back.
QDateTime DateTimeOfOle(double AValue);
double OleOfDateTime(const QDateTime& AValue);
