#include "apps/ExportCommand.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cctype>
#include <ostream>

#include "apps/EntryCommands.h"
#include "apps/ExportProgressLine.h"
#include "apps/WidgetApplication.h"
#include "com/ComErrors.h"
#include "com/ComObject.h"
#include "contract/ActionVocabulary.h"
#include "contract/ExportIntf.h"
#include "host/tasks/TaskProgram.h"
#include "host/LumetaMapSettings.h"

#include <libical/ical.h>

namespace {


[[noreturn]] void Usage(const std::string& AText) { throw ELumetaError(AText, E_INVALIDARG); }

// "% Complete", "percent-complete" and "Complete" all read as "complete".
std::string Squeezed(const std::string& AText) {
  std::string result;
  for (unsigned char c : AText)
    if (std::isalnum(c)) result += static_cast<char>(std::tolower(c));
  return result;
}

int32_t IncludeBits(const std::string& AList) {
  static const std::pair<const char*, int32_t> KNames[] = {
      {"notes", eiNotes},           {"attachments", eiAttachments},     {"mentalconnections", eiConnections},
      {"connections", eiConnections}, {"categories", eiCategories},     {"status", eiStatus},
      {"priority", eiPriority},     {"complete", eiPercentComplete},    {"percentcomplete", eiPercentComplete},
      {"startdate", eiStartDate},   {"datecompleted", eiDateCompleted}, {"duedate", eiDueDate},
      {"fulltitlepath", eiFullTitlePath}};
  int32_t bits = 0;
  size_t start = 0;
  while (start <= AList.size()) {
    const size_t comma = std::min(AList.find(',', start), AList.size());
    const std::string name = Squeezed(AList.substr(start, comma - start));
    start = comma + 1;
    if (name.empty() || name == "none") continue;
    const auto found = std::find_if(std::begin(KNames), std::end(KNames), [&](const auto& A) { return name == A.first; });
    if (found == std::end(KNames))
      Usage("unknown property '" + AList.substr(0, comma) + "': Notes, Attachments, Mental Connections, Categories, "
            "Status, Priority, % Complete, Start Date, Date Completed, Due Date, Full title path");
    bits |= found->second;
  }
  return bits;
}

struct TDialogDriver {
  std::string Screenshot;
  std::string ProgressScreenshot;
  bool Cancel = false;
  // Typed into the owner's form when it asks; without them the form is cancelled.
  std::string OwnerName, OwnerAddress;
};

QWidget* VisibleWindow(const char* AName) {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && window->objectName() == AName) return window;
  return nullptr;
}

void Save(QWidget* AWindow, const std::string& AFile) {
  if (!AWindow->grab().save(QString::fromStdString(AFile))) throw ELumetaError("cannot write " + AFile);
}

// Runs the export entry; a timer finds the dialog once it shows, photographs it and presses OK or
// Cancel, and photographs the progress window when the run shows it.
void RunWithDialog(TLumetaModel* AModel, ISelection* ASelection, const TDialogDriver& ADriver) {
  EnsureWidgetApplication();
  std::string failure;
  bool pressed = false, photographed = false;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    try {
      if (!pressed)
        if (QWidget* form = VisibleWindow("ExportActionsForm")) {
          pressed = true;
          if (!ADriver.Screenshot.empty()) Save(form, ADriver.Screenshot);
          auto* button = form->findChild<QAbstractButton*>(ADriver.Cancel ? "btnCancel" : "btnOK");
          if (!button) throw ELumetaError("the export dialog has no OK and Cancel buttons");
          button->click();
        }
      if (QWidget* owner = VisibleWindow("ExportOwnerForm")) {
        const bool answer = !ADriver.OwnerAddress.empty();
        if (answer) {
          owner->findChild<QLineEdit*>("edName")->setText(QString::fromStdString(ADriver.OwnerName));
          owner->findChild<QLineEdit*>("edAddress")->setText(QString::fromStdString(ADriver.OwnerAddress));
        }
        auto* button = owner->findChild<QAbstractButton*>(answer && owner->findChild<QAbstractButton*>("btnOK")->isEnabled()
                                                              ? "btnOK" : "btnCancel");
        button->click();
      }
      if (!photographed && !ADriver.ProgressScreenshot.empty())
        if (QWidget* progress = VisibleWindow("DlgProgress")) {
          photographed = true;
          Save(progress, ADriver.ProgressScreenshot);
        }
    } catch (const std::exception& error) {
      failure = error.what();
      for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->objectName() == "ExportActionsForm") window->close();
    }
  });
  timer.start();
  ExecuteEntry(AModel, ASelection, ciExportActions, {});
  timer.stop();
  if (!failure.empty()) throw ELumetaError(failure);
  if (!pressed) throw ELumetaError("the export dialog did not open");
}

}  // namespace

void RunExportCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs,
                      std::ostream& AOut, std::ostream& AErr, bool AErrIsTerminal) {
  // The plug-in's own export, as the export entry runs it after its dialog.
  ComPtr<IActionExport> exporter = QueryAs<IActionExport>(AModel->FindPlugInUI(KActionPlugInName).get());
  if (!exporter) throw ELumetaError("the plug-in has no export of actions");
  ComPtr<IExportActionsOutlookOptions> options = exporter->LoadExportOptions();
  bool dryRun = false, dialog = false;
  TDialogDriver driver;
  for (size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& word = AArgs[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= AArgs.size()) Usage(word + " needs a value");
      return AArgs[++i];
    };
    if (word == "--range") {
      const std::string& range = value();
      if (range == "view") options->SetExportRange(erCurrentView);
      else if (range == "map") options->SetExportRange(erEntireMap);
      else if (range == "selection") options->SetExportRange(erSelection);
      else Usage("--range takes view, map or selection");
    } else if (word == "--expand") {
      options->SetExpandBranches(true);
    } else if (word == "--all") {
      options->SetActionsToExport(aeAll);
    } else if (word == "--include") {
      options->SetIncludeProperties(IncludeBits(value()));
    } else if (word == "--dry-run") {
      dryRun = true;
    } else if (word == "--dialog") {
      dialog = true;
    } else if (word == "--screenshot") {
      driver.Screenshot = value();
    } else if (word == "--progress-screenshot") {
      driver.ProgressScreenshot = value();
    } else if (word == "--cancel") {
      driver.Cancel = true;
    } else if (word == "--owner") {
      driver.OwnerName = value();
      driver.OwnerAddress = value();
    } else {
      Usage(std::string("usage: ") + ExportCommandUsage);
    }
  }
  if (dialog) return RunWithDialog(AModel, ASelection, driver);
  if (!driver.Screenshot.empty() || !driver.ProgressScreenshot.empty() || driver.Cancel || !driver.OwnerAddress.empty())
    Usage("--screenshot, --progress-screenshot, --cancel and --owner go with --dialog");
  if (options->GetExportRange() == erSelection && (!ASelection || ASelection->GetCount() == 0))
    Usage("nothing is selected to export");
  // Silence would leave a person guessing why their tasks did not arrive.
  const auto noteNone = [&] {
    AErr << "note: no action to export: only actions with Is Action on are exported, and without --all only those"
            " not posted yet or changed since their last export\n";
  };
  if (dryRun) {
    const std::vector<TPlannedTask> planned = exporter->PlanExport(options.get(), ASelection, AModel);
    for (const TPlannedTask& task : planned) AOut << task.Node->GetID() << '\t' << OneLineText(task.Subject) << '\n';
    if (planned.empty()) noteNone();
    return;
  }
  const ComPtr<ILumetaProgress> progress = make<TExportProgressLine>(AErr, AErrIsTerminal);
  const int32_t exported =
      exporter->ExportActions(options.get(), ASelection, AModel, progress.get(), [&](const TExportedTask& ATask) {
        AOut << ATask.NodeID << '\t' << ATask.Uid << '\t' << OneLineText(ATask.Subject) << '\n';
      });
  if (exported < 0) throw ELumetaError("the task program could not be started");
  if (exported == 0) noteNone();
}

void RunTimeZoneCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  TLumetaMapSettings* settings = AModel->Map().MapSettings();
  if (!settings) throw ELumetaError("the map has no settings");
  if (AArgs.empty()) {
    AOut << (settings->TimeZone().empty() ? std::string("none (floating local times)") : settings->TimeZone()) << '\n';
    return;
  }
  const std::string& name = AArgs[0];
  if (name == "none") return settings->SetTimeZone({});
  // libical's zones are the ones the task files can carry.
  if (!icaltimezone_get_builtin_timezone(name.c_str()))
    Usage("'" + name + "' is not a time zone: give an IANA name such as Europe/Berlin, or none");
  settings->SetTimeZone(name);
}
