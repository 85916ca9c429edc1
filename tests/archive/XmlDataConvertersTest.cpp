#include <gtest/gtest.h>

#include <cstring>

#include "attributes/XmlDataConverters.h"
#include "GermanLocale.h"
#include "com/MemoryStream.h"
#include "contract/LumetaTypes.h"
#include "tests/support/Thrown.h"

namespace {

TEST(DataConverter, BaseConvertsNothing) {
  ComPtr<IDataConverter> converter = NewConverter<TDataConverter>();
  EXPECT_EQ(ThrownText<ENotImplemented>([&] { converter->ConvertToString(int32_t{1}); }), "Method not implemented.");
  EXPECT_THROW(converter->ConvertFromString("1"), ENotImplemented);
}

TEST(DataConverter, NumbersUseTheFixedFormatWhateverTheLocale) {
  archive_test::TGermanLocale german;
  if (!german.Active) GTEST_SKIP() << "no German locale can be set up here";
  EXPECT_EQ(TDataConverter::FloatToStr(1234.5), "1234.5");
  EXPECT_EQ(TDataConverter::StrToFloat("1234.5"), 1234.5);
  EXPECT_EQ(TDataConverter::StrToFloat("1234,5"), 0) << "the locale's separator is not the file's";
}

TEST(DataConverter, Base64FollowsTheStandardAlphabet) {
  // The test vectors of RFC 4648.
  const std::pair<const char*, const char*> vectors[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    ComPtr<TMemoryStream> source = make<TMemoryStream>(std::vector<uint8_t>(plain, plain + std::strlen(plain)));
    EXPECT_EQ(TDataConverter::EncodeBase64(source.get()), encoded);
    ComPtr<TMemoryStream> target = make<TMemoryStream>();
    TDataConverter::DecodeBase64(encoded, target.get());
    EXPECT_EQ(std::string(target->Data().begin(), target->Data().end()), plain);
  }
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  ComPtr<TMemoryStream> source = make<TMemoryStream>(all);
  const std::string text = TDataConverter::EncodeBase64(source.get());
  EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="), std::string::npos);
  ComPtr<TMemoryStream> target = make<TMemoryStream>();
  TDataConverter::DecodeBase64(text, target.get());
  EXPECT_EQ(target->Data(), all);
}

TEST(DataConverter, Base64DecodingSkipsBlanksAndStopsAtStrayCharacters) {
  ComPtr<TMemoryStream> target = make<TMemoryStream>();
  TDataConverter::DecodeBase64(" Zm9v\r\nYmFy ", target.get());
  EXPECT_EQ(std::string(target->Data().begin(), target->Data().end()), "foobar");
  target = make<TMemoryStream>();
  TDataConverter::DecodeBase64("Zm9v*YmFy", target.get());
  EXPECT_EQ(std::string(target->Data().begin(), target->Data().end()), "foo");
}

TEST(ActionMeasureConverter, HoursAndDaysHaveTextsMinutesNone) {
  ComPtr<IDataConverter> converter = NewConverter<TActionMeasureConverter>();
  EXPECT_EQ(converter->ConvertToString(int32_t{0}), "Hours");
  EXPECT_EQ(converter->ConvertToString(int32_t{1}), "Days");
  EXPECT_EQ(converter->ConvertToString(int32_t{2}), "");
  EXPECT_EQ(converter->ConvertToString(int32_t{-1}), "");
  EXPECT_EQ(converter->ConvertToString(std::string("x")), "");
  EXPECT_EQ(converter->ConvertFromString("Hours"), TVariant(int32_t{0}));
  for (const char* text : {"Days", "", "hours", "Minutes", " Hours"})
    EXPECT_EQ(converter->ConvertFromString(text), TVariant(int32_t{1})) << text;
}

TEST(TaskConstraintTypeDataConverter, EveryTypeRoundTrips) {
  ComPtr<IDataConverter> converter = NewConverter<TTaskConstraintTypeDataConverter>();
  const char* stored[] = {"qz:AsLateAsPossible",  "qz:AsSoonAsPossible", "qz:FinishNoEarlierThan",
                          "qz:FinishNoLaterThan", "qz:MustFinishOn",     "qz:MustStartOn",
                          "qz:StartNoEarlierThan", "qz:StartNoLaterThan"};
  for (int i = 0; i < 8; ++i) {
    const std::string identifier(KTaskConstraintTypeIdentifiers[i]);
    EXPECT_EQ(converter->ConvertToString(identifier), stored[i]);
    EXPECT_EQ(converter->ConvertToString(int32_t{i}), stored[i]) << "the ordinal names the same value";
    EXPECT_EQ(converter->ConvertFromString(stored[i]), TVariant(identifier));
  }
}

TEST(TaskConstraintTypeDataConverter, UnknownTextsReadAsTheFirstValue) {
  ComPtr<IDataConverter> converter = NewConverter<TTaskConstraintTypeDataConverter>();
  for (const char* text : {"", "qz:Whenever", "QZ:MustStartOn", "qz:mustStartOn", "MustStartOn"})
    EXPECT_EQ(converter->ConvertFromString(text), TVariant(std::string("tcAsLateAsPossible"))) << text;
  EXPECT_EQ(converter->ConvertFromString("tcMustStartOn"), TVariant(std::string("tcMustStartOn")))
      << "an identifier without the prefix is still read as one";
  EXPECT_EQ(converter->ConvertToString(std::string("garbage")), "qz:AsLateAsPossible");
}

TEST(TaskLinkDataLoader, IsFoundByQueryAndConvertsNoText) {
  ComPtr<IDataConverter> loader = NewConverter<TTaskLinkDataLoader>();
  EXPECT_TRUE(loader.try_as<ITaskLinkDataLoader>()) << "the archive finds it so";
  EXPECT_THROW(loader->ConvertFromString("qz:FinishToStart"), ENotImplemented);
}

}  // namespace
