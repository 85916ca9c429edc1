#include <gtest/gtest.h>

#include "com/OleDate.h"
#include "commands/ActionFieldEdit.h"
#include "tests/support/Thrown.h"

namespace {

TActionField Field(const char* AName) {
  const std::optional<TActionField> field = FindActionField(AName);
  if (!field) throw std::invalid_argument(AName);
  return *field;
}

TEST(ActionFieldValue, FieldsAreFoundByTheirChildNamesInAnyCase) {
  EXPECT_EQ(FindActionField("Start Date"), acStartDate);
  EXPECT_EQ(FindActionField("start date"), acStartDate);
  EXPECT_EQ(FindActionField("Constraint Type"), acConstraintType);
  EXPECT_EQ(FindActionField("StartDate"), std::nullopt);  // the file's element name is not a field name
  EXPECT_EQ(FindActionField(""), std::nullopt);
}

TEST(ActionFieldValue, ReadsEachKindOfValue) {
  EXPECT_EQ(ParseActionFieldValue(Field("Complete"), "100"), TActionFieldValue(int32_t{100}));
  EXPECT_EQ(ParseActionFieldValue(Field("Cost"), "-12.5"), TActionFieldValue(-12.5));
  EXPECT_EQ(ParseActionFieldValue(Field("Duration"), "0.25"), TActionFieldValue(0.25));
  EXPECT_EQ(ParseActionFieldValue(Field("Start Date"), "2025-11-03"), TActionFieldValue(EncodeDate(2025, 11, 3)));
  EXPECT_EQ(ParseActionFieldValue(Field("Start Date"), "2025-11-03T12:00:00"),
            TActionFieldValue(EncodeDate(2025, 11, 3) + 0.5));
  EXPECT_EQ(ParseActionFieldValue(Field("Due Date"), ""), TActionFieldValue(0.0));
  EXPECT_EQ(ParseActionFieldValue(Field("Due Date"), "0"), TActionFieldValue(0.0));
  EXPECT_EQ(ParseActionFieldValue(Field("Is Milestone"), "true"), TActionFieldValue(true));
  EXPECT_EQ(ParseActionFieldValue(Field("Is Action"), "FALSE"), TActionFieldValue(false));
  EXPECT_EQ(ParseActionFieldValue(Field("Duration Measure"), "1"), TActionFieldValue(int32_t{1}));
  EXPECT_EQ(ParseActionFieldValue(Field("Work Measure"), "Days"), TActionFieldValue(int32_t{1}));
  EXPECT_EQ(ParseActionFieldValue(Field("Constraint Type"), "tcMustStartOn"),
            TActionFieldValue(int32_t{tcMustStartOn}));
  EXPECT_EQ(ParseActionFieldValue(Field("Constraint Type"), "start no later than"),
            TActionFieldValue(int32_t{tcStartNoLaterThan}));
  EXPECT_EQ(ParseActionFieldValue(Field("Status"), " any text "), TActionFieldValue(std::string(" any text ")));
}

// Nothing reads as a silent default: each of these is an error naming the text and the field.
TEST(ActionFieldValue, RefusesWhatIsNotQuiteAValue) {
  const std::pair<const char*, const char*> cases[] = {
      {"Duration Measure", "2"},  {"Work Measure", "Minutes"},  // the map file cannot keep minutes
      {"Start Date", "1800-01-01"}, {"Due Date", "2025-01-01T10:00Z"},  // nor early dates, nor zones
      {"Complete", "abc"},        {"Complete", "50.0"},         {"Complete", "101"},
      {"Complete", "-1"},         {"Complete", ""},             {"Cost", "1,5"},
      {"Cost", "12 "},            {"Cost", "inf"},              {"Cost", "nan"},
      {"Duration", "-2"},         {"Work", "1e999"},            {"Start Date", "2025-02-30"},
      {"Start Date", "11/03/25"}, {"Start Date", " 2025-11-03"}, {"Is Action", "yes"},
      {"Is Action", "1"},         {"Duration Measure", "3"},    {"Duration Measure", "hrs"},
      {"Constraint Type", "MustStartOn"}, {"Constraint Type", "5"}, {"Constraint Type", "Must  Start On"},
  };
  for (const auto& [name, text] : cases) {
    SCOPED_TRACE(std::string(name) + " <- '" + text + "'");
    const std::string message = ThrownText<EConvertError>([&] { ParseActionFieldValue(Field(name), text); });
    EXPECT_EQ(message.rfind(std::string("invalid value '") + text + "' for " + name + ": ", 0), 0u) << message;
  }
}

}  // namespace
