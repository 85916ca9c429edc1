#include <gtest/gtest.h>

#include "AttributeTestFakes.h"
#include "com/MemoryStream.h"

namespace {

// One child of every type, the last a list of strings.
class TEveryType : public TRecordAttribute {
 public:
  TEveryType() {
    for (const GUID& type : {uuidof<IIntegerAttribute>(), uuidof<IDoubleAttribute>(), uuidof<IDateTimeAttribute>(),
                             uuidof<IStringAttribute>(), uuidof<IWordBoolAttribute>(), uuidof<INodeReferenceAttribute>()})
      AddChildOfType(type);
    AddChild(make<TListAttribute>(uuidof<IStringAttribute>()).get());
  }
  template <class I>
  ComPtr<I> Child(int AIndex) {
    return GetChild(AIndex).as<I>();
  }
};

class AttributeStream : public ::testing::Test {
  TPairFactoryScope FFactory;
};

TEST_F(AttributeStream, EveryTypeRoundTripsThroughTheBinaryForm) {
  ComPtr<TEveryType> source = make<TEveryType>();
  source->Child<IIntegerAttribute>(0)->SetValue(-123456);
  source->Child<IDoubleAttribute>(1)->SetValue(2.5e-7);
  source->Child<IDateTimeAttribute>(2)->SetValue(45356.75);
  source->Child<IStringAttribute>(3)->SetValue("Grüße \xF0\x9F\x98\x80");
  source->Child<IWordBoolAttribute>(4)->SetValue(true);
  source->GetChild(5)->LoadFromString("42");
  ComPtr<IListAttribute> list = source->Child<IListAttribute>(6);
  SetText(list->Add().get(), "first");
  SetText(list->Add().get(), "");

  ComPtr<TMemoryStream> stream = make<TMemoryStream>();
  source.as<IPersistStream>()->Save(stream.get(), true);
  EXPECT_FALSE(source->IsDirty()) << "saving with AClearDirty clears the whole tree";
  EXPECT_EQ(source->GetSizeMax(), stream->GetSize());
  // 4 + 8 + 8 + (4 + 2 * 8 units) + 2 + (4 + 2 * 2) + (4 + (4 + 10) + 4)
  EXPECT_EQ(stream->GetSize(), 72u);

  ComPtr<TEveryType> loaded = make<TEveryType>();
  stream->Seek(0, TSeekOrigin::Begin);
  EXPECT_EQ(loaded->LoadFromStream(stream.get()), 72u);
  EXPECT_TRUE(loaded->EqualTo(source.get()));
  EXPECT_EQ(loaded->Child<IStringAttribute>(3)->GetValue(), "Grüße \xF0\x9F\x98\x80");
  EXPECT_EQ(loaded->Child<INodeReferenceAttribute>(5)->GetReferenceText(), "42");
  EXPECT_EQ(loaded->Child<IListAttribute>(6)->GetChildCount(), 2);
  EXPECT_FALSE(loaded->IsModified()) << "a loaded value is not an edit";
}

TEST_F(AttributeStream, ScalarsWriteTheirRawBytesAndStringsUtf16) {
  ComPtr<TMemoryStream> stream = make<TMemoryStream>();
  ComPtr<TWordBoolAttribute> flag = make<TWordBoolAttribute>();
  flag->SetValue(true);
  EXPECT_EQ(flag->SaveToStream(stream.get()), 2u);
  ComPtr<TStringAttribute> text = make<TStringAttribute>();
  text->SetValue("é\xF0\x9F\x98\x80");
  EXPECT_EQ(text->SaveToStream(stream.get()), 10u);
  EXPECT_EQ(stream->Data(), (std::vector<uint8_t>{0xFF, 0xFF, 6, 0, 0, 0, 0xE9, 0x00, 0x3D, 0xD8, 0x00, 0xDE}));
}

TEST_F(AttributeStream, ShortStreamRaisesReadFaultAndStopsAtTheFailingChild) {
  ComPtr<TPairRecord> source = make<TPairRecord>();
  SetInt(source->GetChild(0).get(), 9);
  SetText(source->GetChild(1).get(), "nine");
  ComPtr<TMemoryStream> full = make<TMemoryStream>();
  source->SaveToStream(full.get());
  std::vector<uint8_t> bytes = full->Data();
  bytes.resize(bytes.size() - 1);

  ComPtr<TPairRecord> target = make<TPairRecord>();
  SetText(target->GetChild(1).get(), "kept");
  ComPtr<TMemoryStream> cut = make<TMemoryStream>(bytes);
  try {
    target->LoadFromStream(cut.get());
    FAIL();
  } catch (const ELumetaError& error) {
    EXPECT_EQ(error.Code(), STG_E_READFAULT);
  }
  EXPECT_EQ(IntOf(target->GetChild(0).get()), 9);
  EXPECT_EQ(TextOf(target->GetChild(1).get()), "kept");
}

TEST(MemoryStream, ReadsShortAtTheEndAndGrowsOnWrite) {
  ComPtr<TMemoryStream> stream = make<TMemoryStream>(std::vector<uint8_t>{1, 2, 3});
  uint8_t buffer[8] = {};
  stream->Seek(1, TSeekOrigin::Begin);
  EXPECT_EQ(stream->Read(buffer, 8), 2u);
  EXPECT_EQ(stream->Read(buffer, 8), 0u);
  EXPECT_THROW(stream->Seek(-4, TSeekOrigin::End), ELumetaError);
  stream->Seek(5, TSeekOrigin::Begin);
  stream->Write("\x07", 1);
  EXPECT_EQ(stream->Data(), (std::vector<uint8_t>{1, 2, 3, 0, 0, 7}));
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("a\xFF" "b")), "a\xEF\xBF\xBD" "b") << "broken UTF-8 becomes U+FFFD";
}

}  // namespace
