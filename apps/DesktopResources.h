#pragma once
// The resource view (View > Resources): each resource of the map with its tasks and their dates,
// and a column per day with the hours booked. A day on which a resource has more hours booked than
// the calendar's working day is marked red; days off are shaded.
#include <QWidget>

#include <vector>

#include "session/ResourceLoad.h"

class QLabel;
class QTableWidget;
class TDesktopItemModel;

class TDesktopResourceView : public QWidget {
 public:
  // A window of its own over the rows' model, which outlives it.
  explicit TDesktopResourceView(TDesktopItemModel* AItems, QWidget* AParent = nullptr);

  // Reads the map again; errors show in the view's heading.
  void Reload();
  QTableWidget* Table() const { return FTable; }
  const std::vector<TResourceUse>& Uses() const { return FUses; }
  // The first day the table shows, and how many (a long plan is cut at a year).
  double FirstDay() const { return FFirstDay; }
  int DayCount() const { return FDays; }

 private:
  TDesktopItemModel* FItems;
  QLabel* FHeading;
  QTableWidget* FTable;
  std::vector<TResourceUse> FUses;
  double FFirstDay = 0;
  int FDays = 0;
};
