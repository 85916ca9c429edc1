#include <gtest/gtest.h>

#include <sstream>

#include "com/DialogService.h"

namespace {

TEST(StreamDialogService, WritesMessagesByKindWithLineBreaks) {
  std::ostringstream out;
  TStreamDialogService service(out);
  service.ShowMessage(TMessageKind::Warning, "First.\r\n\r\nSecond.");
  service.ShowMessage(TMessageKind::Information, "a\rb\nc");
  service.ShowMessage(TMessageKind::Error, "Broken.");
  EXPECT_EQ(out.str(), "warning: First.\n\nSecond.\nnote: a\nb\nc\nwarning: Broken.\n");
}

TEST(StreamDialogService, AnswersQuestionsAsItWasToldAndSaysSo) {
  struct TCase {
    TStandingAnswer Answer;
    TDialogButtons Buttons;
    TDialogButton Default;
    TDialogButton Expected;
  };
  const TDialogButtons all = dbYes | dbNo | dbCancel;
  for (const TCase& c : {TCase{TStandingAnswer::Default, all, dbNo, dbNo},
                         TCase{TStandingAnswer::Yes, all, dbNo, dbYes},
                         TCase{TStandingAnswer::No, all, dbYes, dbNo},
                         TCase{TStandingAnswer::Yes, dbOK | dbCancel, dbCancel, dbOK},
                         TCase{TStandingAnswer::No, dbOK | dbCancel, dbOK, dbCancel},
                         TCase{TStandingAnswer::No, dbOK, dbOK, dbOK}}) {
    std::ostringstream out;
    TStreamDialogService service(out, c.Answer);
    EXPECT_EQ(service.Ask("Go on?", c.Buttons, c.Default), c.Expected);
    EXPECT_TRUE(out.str().ends_with("\nanswer: " + std::string(DialogButtonName(c.Expected)) + "\n")) << out.str();
  }
  std::ostringstream out;
  TStreamDialogService(out, TStandingAnswer::Yes).Ask("Move it?\r\nReally?", all, dbCancel);
  EXPECT_EQ(out.str(), "question: Move it?\nReally? [Yes/No/Cancel, default Cancel]\nanswer: Yes\n");
}

}  // namespace
