#pragma once
// The desktop window's map-settings dialog: the task-scheduling switch and the working calendar
// (working days, schedule start, holidays).
#include <QDialog>

#include "com/ComPtr.h"
#include "contract/CommandIntf.h"
#include "host/LumetaMapSettings.h"
#include "host/LumetaModel.h"

class QCheckBox;
class QDateEdit;
class QListWidget;
class QPushButton;

class TDesktopSettingsDialog : public QDialog {
 public:
  // Shows the map's settings as they are; the map is not changed until Command runs.
  TDesktopSettingsDialog(TLumetaModel* AModel, QWidget* AParent);
  ~TDesktopSettingsDialog() override;

  // The undoable command that gives the map the settings the dialog shows (one step, even when
  // both the switch and the calendar change); null when nothing changed.
  ComPtr<ICommand> Command() const;

 protected:
  bool eventFilter(QObject* AObject, QEvent* AEvent) override;

 private:
  TMapCalendar EditedCalendar() const;
  // Adds the picked date (once; the list stays sorted) and selects it.
  void AddHoliday();
  void RemoveHoliday();

  TLumetaModel* FModel;
  TMapCalendar FCalendar;  // as the map had it
  double FShownStart = 0;  // the schedule start's day as first shown
  QCheckBox* FScheduling;
  QCheckBox* FDays[7];
  QDateEdit* FStart;
  QListWidget* FHolidays;
  QDateEdit* FHoliday;
  QPushButton* FAdd;
  QPushButton* FRemove;
};
