#pragma once
// The export dialog: range, which actions, and the properties each task carries, loaded from and
// written back into the export options.
#include <QDialog>

#include "com/ComPtr.h"
#include "contract/ExportIntf.h"
#include "contract/LumetaSelectionIntf.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QRadioButton;
class ThvButtonPanel;

class TExportActionsForm : public QDialog {
  Q_OBJECT

 public:
  explicit TExportActionsForm(QWidget* AOwner = nullptr);

  // Shows the form modally on AOptions; true when closed with OK, and only then are the options
  // changed. "&Selection" is offered only when ASelection holds a node.
  static bool Execute(IExportActionsOutlookOptions* AOptions, ISelection* ASelection, QWidget* AOwner = nullptr);

  // The list entries, item i standing for bit value 2 to the power i.
  static const char* const IncludeNames[KExportIncludeCount];

  void OptionsToControls(bool ASelectionEnabled);
  void ControlsToOptions();
  void SetOptions(IExportActionsOutlookOptions* AOptions) { FOptions = AOptions; }

 private:
  void UpdateActions();

  ComPtr<IExportActionsOutlookOptions> FOptions;
  QRadioButton* FCurrentView;
  QRadioButton* FEntireMap;
  QRadioButton* FSelection;
  QCheckBox* FExpandBranches;
  QRadioButton* FNewUpdated;
  QRadioButton* FAllActions;
  QListWidget* FIncludeProperties;
  ThvButtonPanel* FButtons;
};

// Asks once for the owner the task program sends assigned tasks from: a name and an e-mail
// address; OK is enabled while the address is a plain one.
class TExportOwnerForm : public QDialog {
  Q_OBJECT

 public:
  explicit TExportOwnerForm(QWidget* AOwner = nullptr);

  // True when closed with OK; only then are the two texts set.
  static bool Execute(std::string& AName, std::string& AAddress, QWidget* AOwner = nullptr);

 private:
  void UpdateActions();

  QLineEdit* FName;
  QLineEdit* FAddress;
  ThvButtonPanel* FButtons;
};
