#pragma once
// A dialog service for tests: it keeps every message and question it is shown and answers
// questions as the test told it, in turn, then with each box's default button. Installed for the
// life of a TDialogRecorder.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "com/DialogService.h"

class TRecordingDialogService : public TDialogService {
 public:
  struct TEntry {
    TMessageKind Kind = TMessageKind::Information;  // of a message
    bool IsQuestion = false;
    std::string Text;
    TDialogButtons Buttons = dbOK;
    TDialogButton Default = dbOK;
    TDialogButton Answer = dbOK;
  };

  void ShowMessage(TMessageKind AKind, const std::string& AText) override {
    Entries.push_back({AKind, false, AText, dbOK, dbOK, dbOK});
  }
  TDialogButton Ask(const std::string& AText, TDialogButtons AButtons, TDialogButton ADefault) override {
    TDialogButton answer = ADefault;
    if (!Answers.empty()) {
      answer = Answers.front();
      Answers.pop_front();
    }
    Entries.push_back({TMessageKind::Information, true, AText, AButtons, ADefault, answer});
    return answer;
  }

  // The texts of everything shown, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const TEntry& entry : Entries) texts.push_back(entry.Text);
    return texts;
  }

  std::vector<TEntry> Entries;
  std::deque<TDialogButton> Answers;  // the next questions' answers
};

// Puts a recording service in place and the default back when it goes.
class TDialogRecorder {
 public:
  TDialogRecorder() : FService(std::make_shared<TRecordingDialogService>()) { SetDialogService(FService); }
  ~TDialogRecorder() { SetDialogService(nullptr); }
  TDialogRecorder(const TDialogRecorder&) = delete;
  TDialogRecorder& operator=(const TDialogRecorder&) = delete;

  TRecordingDialogService* operator->() const noexcept { return FService.get(); }

 private:
  std::shared_ptr<TRecordingDialogService> FService;
};
