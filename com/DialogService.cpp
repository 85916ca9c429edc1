#include "com/DialogService.h"

#include <iostream>
#include <utility>

namespace {

std::shared_ptr<TDialogService>& CurrentService() {
  static std::shared_ptr<TDialogService> service;
  return service;
}

constexpr TDialogButton KButtonOrder[] = {dbYes, dbNo, dbOK, dbCancel};

}  // namespace

TDialogService& DialogService() {
  std::shared_ptr<TDialogService>& service = CurrentService();
  if (!service) service = std::make_shared<TStreamDialogService>(std::cerr);
  return *service;
}

void SetDialogService(std::shared_ptr<TDialogService> AService) { CurrentService() = std::move(AService); }

TDialogButton PickAnswer(TStandingAnswer AAnswer, TDialogButtons AButtons, TDialogButton ADefault) {
  switch (AAnswer) {
    case TStandingAnswer::Yes:
      if (AButtons & dbYes) return dbYes;
      if (AButtons & dbOK) return dbOK;
      break;
    case TStandingAnswer::No:
      if (AButtons & dbNo) return dbNo;
      if (AButtons & dbCancel) return dbCancel;
      break;
    case TStandingAnswer::Default:
      break;
  }
  return ADefault;
}

std::string_view DialogButtonName(TDialogButton AButton) {
  switch (AButton) {
    case dbOK: return "OK";
    case dbYes: return "Yes";
    case dbNo: return "No";
    case dbCancel: return "Cancel";
  }
  return {};
}

std::string UnixLineBreaks(std::string_view AText) {
  std::string result;
  result.reserve(AText.size());
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] == '\r') {
      result += '\n';
      if (i + 1 < AText.size() && AText[i + 1] == '\n') ++i;
    } else {
      result += AText[i];
    }
  }
  return result;
}

TStreamDialogService::TStreamDialogService(std::ostream& AOut, TStandingAnswer AAnswer) : FOut(AOut), FAnswer(AAnswer) {}

void TStreamDialogService::ShowMessage(TMessageKind AKind, const std::string& AText) {
  // Error boxes too are "warning: ": on the command line "error: " means that a command failed.
  FOut << (AKind == TMessageKind::Information ? "note: " : "warning: ") << UnixLineBreaks(AText) << '\n';
}

TDialogButton TStreamDialogService::Ask(const std::string& AText, TDialogButtons AButtons, TDialogButton ADefault) {
  FOut << "question: " << UnixLineBreaks(AText) << " [";
  const char* separator = "";
  for (TDialogButton button : KButtonOrder)
    if (AButtons & button) {
      FOut << separator << DialogButtonName(button);
      separator = "/";
    }
  FOut << ", default " << DialogButtonName(ADefault) << "]\n";
  const TDialogButton answer = PickAnswer(FAnswer, AButtons, ADefault);
  FOut << "answer: " << DialogButtonName(answer) << '\n';
  return answer;
}
