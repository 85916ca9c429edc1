// lumeta-gallery: every input control and cell editor on one window, to look at and to try.
// With --screenshot DIR it renders each on the offscreen platform and writes DIR/<name>.png.
#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "ui/ButtonPanel.h"
#include "ui/EditLinks.h"
#include "ui/NumEdit.h"
#include "ui/SpinEdit.h"
#include "ui/UiMetrics.h"

namespace {

const QStringList LinkTypes{"Finish-to-Start (FS)", "Start-to-Start (SS)", "Finish-to-Finish (FF)",
                            "Start-to-Finish (SF)", "(None)"};
const QStringList TaskNames{"Design review", "Prototype", "Supplier contract", "Field test", "Launch"};

enum TColumn { colID, colName, colLinkType, colNotes, colComplete, colDue, colMilestone, colCount };

// A predecessor-style grid over a small table of texts, one editor per column.
class TGalleryGrid {
 public:
  explicit TGalleryGrid(QWidget* AParent) : FGrid(new TVirtualTreeGrid(AParent)) {
    FGrid->SetColumns({"Task ID", "Task Name", "Link Type", "Notes", "% Complete", "Due", "Milestone"});
    // Link Type is wider than the dialog's 133 pixels: DejaVu Sans runs wider than Tahoma.
    const int widths[colCount] = {56, 225, 152, 120, 76, 104, 70};
    for (int column = 0; column < colCount; ++column) FGrid->setColumnWidth(column, UiMetrics::Px(widths[column], FGrid));
    FGrid->SetGridLines(true);
    FGrid->SetFullRowSelect(true);
    FGrid->SetEditable(true);
    FGrid->SetEditOnClick(true);
    FGrid->SetRootNodeCount(6);
    for (int row = 0; row < 5; ++row)
      FTexts[row] = {QString::number(row + 11), TaskNames[row], LinkTypes[row % 4], row == 1 ? "Needs the new casing" : "",
                     QString::number(row * 20), QDate(2024, 3, 4).addDays(7 * row).toString("dd.MM.yyyy"),
                     row == 4 ? "True" : "False"};
    FGrid->OnGetText = [this](TVirtualNode* ANode, int AColumn) {
      const auto row = FTexts.find(ANode->Index);
      return row == FTexts.end() ? QString() : row->second.value(AColumn);
    };
    // Rows after the first empty one are not edited, as in the predecessor grid.
    FGrid->OnEditing = [this](TVirtualNode* ANode, int) { return ANode->Index <= static_cast<int>(FTexts.size()); };
    FGrid->OnCreateEditor = [](TVirtualNode*, int AColumn) { return MakeEditor(AColumn); };
    QObject::connect(FGrid, &TVirtualTreeGrid::NewText, FGrid, [this](TVirtualNode* ANode, int AColumn, const QString& AText) {
      QStringList& row = FTexts[ANode->Index];
      while (row.size() < colCount) row.append(QString());
      row[AColumn] = AText;
      if (static_cast<int>(FTexts.size()) >= FGrid->RootNodeCount()) FGrid->SetRootNodeCount(FGrid->RootNodeCount() + 1);
    });
  }

  static ComPtr<IVTEditLink> MakeEditor(int AColumn) {
    switch (AColumn) {
      case colName:
        return make<TComboEditLink>(TaskNames);
      case colLinkType:
        return make<TComboEditLink>(LinkTypes, false, csDropDownList);
      case colNotes:
        return make<TMemoEditLink>();
      case colComplete:
        return make<TSpinEditLink>(true, 100, 0, 5);
      case colDue:
        return make<TDateEditLink>(TDateEditLink::dkDate, QChar('.'), "dd/MM/yyyy");
      case colMilestone: {
        auto link = make<TCheckEditLink>();
        link->FAllowGrayed = true;
        return link;
      }
      default:
        return make<TEditEditLink>();
    }
  }

  TVirtualTreeGrid* Grid() const { return FGrid; }

 private:
  TVirtualTreeGrid* FGrid;
  std::map<int, QStringList> FTexts;
};

class TGalleryWindow : public QWidget {
 public:
  TGalleryWindow() {
    setWindowTitle("Lumeta controls");
    setProperty(HelpContextProperty, 534);
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QGroupBox("Input controls", this);
    auto* form = new QFormLayout(controls);
    Cost = new ThvNumEdit(controls);
    Cost->setText("1234.5");
    Quantity = new ThvNumEdit(controls);
    Complete = new ThvSpinEdit(controls);
    Complete->SetMaxValue(100);
    Complete->SetIntegerOnly(true);
    Complete->SetAllowNull(false);
    Complete->SetIncrement(5);
    Complete->SetValue(40);
    for (QWidget* field : {static_cast<QWidget*>(Cost), static_cast<QWidget*>(Quantity), static_cast<QWidget*>(Complete)})
      field->setFixedWidth(UiMetrics::Px(121, this));
    form->addRow("Cost:", Cost);
    form->addRow("Quantity:", Quantity);
    form->addRow("% Co&mplete:", Complete);
    layout->addWidget(controls);

    auto* predecessors = new QGroupBox("Predecessors", this);
    auto* gridLayout = new QVBoxLayout(predecessors);
    Table = new TGalleryGrid(predecessors);
    gridLayout->addWidget(Table->Grid());
    layout->addWidget(predecessors, 1);

    Panel = new ThvButtonPanel(this);
    Panel->SetAlign(alBottom);
    Panel->SetCustomCaption("C&lear");
    Panel->SetButtonTypes({btCustom, btOK, btCancel, btHelp});
    layout->addWidget(Panel);
    resize(UiMetrics::Px(QSize(860, 470), this));
  }

  ThvNumEdit* Cost;
  ThvNumEdit* Quantity;
  ThvSpinEdit* Complete;
  TGalleryGrid* Table;
  ThvButtonPanel* Panel;
};

bool Save(QWidget* AWidget, const QDir& ADir, const char* AName) {
  const QString path = ADir.filePath(QString::fromLatin1(AName) + ".png");
  if (AWidget->grab().save(path)) return true;
  std::fprintf(stderr, "lumeta-gallery: error: cannot write %s\n", qPrintable(path));
  return false;
}

int Screenshots(TGalleryWindow& AWindow, const QDir& ADir) {
  bool ok = Save(&AWindow, ADir, "gallery");
  ok = Save(AWindow.Cost->parentWidget(), ADir, "input-controls") && ok;
  ok = Save(AWindow.Panel, ADir, "button-panel") && ok;
  TVirtualTreeGrid* grid = AWindow.Table->Grid();
  grid->SetFocusedCell(grid->Child(nullptr, 1), colName);
  ok = Save(grid, ADir, "tree-grid") && ok;
  const std::pair<int, const char*> editors[] = {{colID, "editor-edit"},     {colName, "editor-combo"},
                                                 {colNotes, "editor-memo"},  {colComplete, "editor-spin"},
                                                 {colDue, "editor-date"},    {colMilestone, "editor-check"}};
  for (const auto& [column, name] : editors) {
    grid->EditNode(grid->Child(nullptr, 1), column);
    QApplication::processEvents();
    ok = Save(grid, ADir, name) && ok;
    grid->CancelEditNode();
  }
  // A drop-down list: the link types.
  grid->EditNode(grid->Child(nullptr, 2), colLinkType);
  ok = Save(grid, ADir, "editor-combo-list") && ok;
  grid->CancelEditNode();
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* screenshotDir = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshotDir = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf("usage: lumeta-gallery [--screenshot DIR]\n");
      return 0;
    } else {
      std::fprintf(stderr, "lumeta-gallery: error: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  // Screenshots need no display, and look the same on every machine.
  if (screenshotDir) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QApplication::setFont(UiMetrics::FormFont());
  TGalleryWindow window;
  window.show();
  if (!screenshotDir) return application.exec();
  QDir dir(QString::fromLocal8Bit(screenshotDir));
  if (!dir.mkpath(".")) {
    std::fprintf(stderr, "lumeta-gallery: error: cannot create %s\n", screenshotDir);
    return 2;
  }
  QApplication::processEvents();
  return Screenshots(window, dir);
}
