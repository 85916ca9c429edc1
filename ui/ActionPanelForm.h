#pragma once
// The action panel's form: the controls of one action record in a scroll box, borderless, for the
// host to dock beside the map.
#include <QWidget>

#include "ui/ActionViewIntf.h"

class QScrollArea;

// The form answers IActionView itself, but its reference counting does nothing: it is a widget,
// freed by whoever owns it as a widget (the view that made it, or the dock the host put it in),
// never by Release. Whoever holds the interface must not use it after the form is gone.
class TfrmActionView : public QWidget, public IActionView {
  Q_OBJECT

 public:
  // Hidden, with today in the pickers and the standard priority and status lists.
  explicit TfrmActionView(QWidget* AParent = nullptr);
  ~TfrmActionView() override;

  HRESULT QueryInterface(const GUID& AIid, void** AObject) noexcept override;
  uint32_t AddRef() noexcept override { return 1; }
  uint32_t Release() noexcept override { return 1; }

  // IActionView
  void Clear() override;
  void SetEnabled(bool AEnabled) override;
  void FormOperation() override {}
  void* FormReference() override { return static_cast<QWidget*>(this); }
  ThvSpinEdit* GetCompleteSpin() override { return FComplete; }
  ThvNumEdit* GetCostEdit() override { return FCost; }
  QCheckBox* GetDueDateBox() override { return FDueBox; }
  QDateTimeEdit* GetDueDatePicker() override { return FDuePicker; }
  QComboBox* GetDurationUnitCombo() override { return FDurationUnit; }
  ThvNumEdit* GetDurationEdit() override { return FDuration; }
  bool GetVisible() override { return isVisible(); }
  QCheckBox* GetEndDateBox() override { return FEndBox; }
  QDateTimeEdit* GetEndDatePicker() override { return FEndPicker; }
  QWidget* GetHandle() override { return this; }
  QCheckBox* GetIsActionBox() override { return FIsAction; }
  QComboBox* GetPriorityCombo() override { return FPriority; }
  ThvNumEdit* GetQuantityEdit() override { return FQuantity; }
  QCheckBox* GetStartDateBox() override { return FStartBox; }
  QDateTimeEdit* GetStartDatePicker() override { return FStartPicker; }
  QComboBox* GetStatusCombo() override { return FStatus; }
  bool FormState() override { return FReadOnly; }
  QComboBox* GetWorkUnitCombo() override { return FWorkUnit; }
  ThvNumEdit* GetWorkEdit() override { return FWork; }
  void SetColor(const QColor& AColor) override;
  void FocusFirst() override;
  void SetVisible(bool AVisible) override { setVisible(AVisible); }
  QCheckBox* GetMilestoneBox() override { return nullptr; }

  // True disables every control; false enables them again (those the presenter disables stay so).
  void SetReadOnly(bool AReadOnly);
  bool ReadOnly() const noexcept { return FReadOnly; }
  // The controls in panel order, for whoever walks them (the command line prints them so).
  QList<QWidget*> FieldControls() const;

 Q_SIGNALS:
  // Enter pressed in a field: the user is done with the edit.
  void CommitRequested();

 protected:
  void keyPressEvent(QKeyEvent* AEvent) override;

 private:
  void EnableControls(bool AEnabled);

  QScrollArea* FScrollBox;
  QWidget* FPanel;
  QCheckBox* FIsAction;
  QCheckBox* FStartBox;
  QDateTimeEdit* FStartPicker;
  QCheckBox* FDueBox;
  QDateTimeEdit* FDuePicker;
  QCheckBox* FEndBox;
  QDateTimeEdit* FEndPicker;
  ThvNumEdit* FDuration;
  QComboBox* FDurationUnit;
  ThvSpinEdit* FComplete;
  QComboBox* FPriority;
  QComboBox* FStatus;
  ThvNumEdit* FCost;
  ThvNumEdit* FQuantity;
  ThvNumEdit* FWork;
  QComboBox* FWorkUnit;
  bool FReadOnly = false;
};

// The texts of the standard priorities and statuses, in list order.
QStringList StandardPriorities();
QStringList StandardStatuses();
