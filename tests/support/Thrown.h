#pragma once
// What a piece of code throws, for tests that check an error's message and fields: one expression
// instead of a try block with a failure for the case that nothing is thrown.
#include <gtest/gtest.h>

#include <optional>
#include <string>

// The error of type E that AWork throws; a test failure, and no error, when it throws none.
template <class E, class F>
std::optional<E> Thrown(F&& AWork) {
  try {
    AWork();
  } catch (const E& AError) {
    return AError;
  }
  ADD_FAILURE() << "nothing was thrown";
  return std::nullopt;
}

// The message of the error of type E that AWork throws; "nothing thrown" (and a test failure)
// when it throws none.
template <class E, class F>
std::string ThrownText(F&& AWork) {
  try {
    AWork();
  } catch (const E& AError) {
    return AError.what();
  }
  ADD_FAILURE() << "nothing was thrown";
  return "nothing thrown";
}
