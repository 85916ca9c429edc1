#pragma once
// Message boxes and questions. The plug-in never opens a window of its own for them: it asks the
// one service of the process, which the program in charge installs (message boxes in the desktop
// programs, standard error in the command line, a recorder in tests).
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

enum class TMessageKind : uint8_t { Warning, Information, Error };

// The buttons of a box. A set of buttons is their bits or'ed together.
enum TDialogButton : uint8_t { dbOK = 1, dbYes = 2, dbNo = 4, dbCancel = 8 };
using TDialogButtons = uint8_t;

class TDialogService {
 public:
  virtual ~TDialogService() = default;
  // A message with one OK button; returns once it is closed.
  virtual void ShowMessage(TMessageKind AKind, const std::string& AText) = 0;
  // A question offering AButtons, ADefault (one of them) being the button that Enter presses.
  // Answers the button chosen; closing the box counts as Cancel when it is offered.
  virtual TDialogButton Ask(const std::string& AText, TDialogButtons AButtons, TDialogButton ADefault) = 0;
};

// The service in use: the one given to SetDialogService, else a TStreamDialogService on standard
// error answering every question with its default button. The reference stays valid until
// SetDialogService replaces the service. Call from one thread.
TDialogService& DialogService();
// Replaces the service in use; null goes back to the default.
void SetDialogService(std::shared_ptr<TDialogService> AService);

// How a service without a person answers questions.
enum class TStandingAnswer : uint8_t {
  Default,  // the box's default button
  Yes,      // Yes, else OK, else the default
  No,       // No, else Cancel, else the default
};

// The button a standing answer picks from AButtons.
TDialogButton PickAnswer(TStandingAnswer AAnswer, TDialogButtons AButtons, TDialogButton ADefault);

// Writes each message as "note: " (information) or "warning: " (warnings and errors) plus the
// text, and each question as "question: TEXT [Yes/No/Cancel, default Yes]" followed by
// "answer: BUTTON"; CR LF in a text becomes a line break. The stream must outlive the service.
class TStreamDialogService : public TDialogService {
 public:
  explicit TStreamDialogService(std::ostream& AOut, TStandingAnswer AAnswer = TStandingAnswer::Default);

  void ShowMessage(TMessageKind AKind, const std::string& AText) override;
  TDialogButton Ask(const std::string& AText, TDialogButtons AButtons, TDialogButton ADefault) override;

 private:
  std::ostream& FOut;
  TStandingAnswer FAnswer;
};

// "OK", "Yes", "No" or "Cancel".
std::string_view DialogButtonName(TDialogButton AButton);
// Line breaks of any kind (CR LF, CR, LF) as "\n".
std::string UnixLineBreaks(std::string_view AText);
