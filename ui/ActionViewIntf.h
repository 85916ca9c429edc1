#pragma once
// What a form that shows one action record offers the presenter that fills and saves it: its
// controls, one getter each, so that the side panel and the Edit Action dialog are driven alike.
// The getters hand out the controls themselves (owned by the form); the caller reads, writes and
// connects to them. Operations in slot order.
#include <QColor>

#include "com/Unknown.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QWidget;
class ThvNumEdit;
class ThvSpinEdit;

struct IActionView : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("5511F9E0-6028-4F01-BBB9-7F6BC068C5FC");
  // Every check box unchecked, every date picker at today, edits emptied, combos emptied with no
  // item selected, spin edits at 0, numeric edits at "0".
  virtual void Clear() = 0;
  // Enables or disables every control; a read-only form stays disabled.
  virtual void SetEnabled(bool AEnabled) = 0;
  virtual void FormOperation() = 0;       // the form's own business; the presenter does not call it
  virtual void* FormReference() = 0;      // the same
  virtual ThvSpinEdit* GetCompleteSpin() = 0;
  virtual ThvNumEdit* GetCostEdit() = 0;
  virtual QCheckBox* GetDueDateBox() = 0;
  virtual QDateTimeEdit* GetDueDatePicker() = 0;
  virtual QComboBox* GetDurationUnitCombo() = 0;
  virtual ThvNumEdit* GetDurationEdit() = 0;
  virtual bool GetVisible() = 0;
  virtual QCheckBox* GetEndDateBox() = 0;
  virtual QDateTimeEdit* GetEndDatePicker() = 0;
  virtual QWidget* GetHandle() = 0;
  virtual QCheckBox* GetIsActionBox() = 0;
  virtual QComboBox* GetPriorityCombo() = 0;
  virtual ThvNumEdit* GetQuantityEdit() = 0;
  virtual QCheckBox* GetStartDateBox() = 0;
  virtual QDateTimeEdit* GetStartDatePicker() = 0;
  virtual QComboBox* GetStatusCombo() = 0;
  virtual bool FormState() = 0;           // the form's own business; the presenter does not call it
  virtual QComboBox* GetWorkUnitCombo() = 0;
  virtual ThvNumEdit* GetWorkEdit() = 0;
  virtual void SetColor(const QColor& AColor) = 0;
  // Focuses the Is Action box.
  virtual void FocusFirst() = 0;
  virtual void SetVisible(bool AVisible) = 0;
  // The milestone box; null on a form without one (the panel).
  virtual QCheckBox* GetMilestoneBox() = 0;
};
