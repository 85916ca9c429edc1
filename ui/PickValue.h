#pragma once
// The value pick list: a small tool window at the mouse cursor that offers the texts an action
// field may take (priorities, statuses, units) in a list that only picks.
#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class ThvButtonPanel;

class TfrmPickValue : public QDialog {
  Q_OBJECT

 public:
  // Captioned AField, listing AItems with AValue picked (nothing when it is not listed).
  TfrmPickValue(const std::string& AField, const std::vector<std::string>& AItems, const std::string& AValue,
                QWidget* AParent = nullptr);
  ~TfrmPickValue() override;

  QComboBox* List() const noexcept { return FList; }
  // The picked text; AValue as given when nothing is picked.
  std::string Value() const;

 protected:
  void showEvent(QShowEvent* AEvent) override;

 private:
  QComboBox* FList;
  ThvButtonPanel* FButtons;
  std::string FValue;
};

// Shows the pick list modally; true with AValue set to the pick on OK. False without a window system.
bool PickActionValue(const std::string& AField, const std::vector<std::string>& AItems, std::string& AValue);
