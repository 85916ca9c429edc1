#include <gtest/gtest.h>

extern "C" int LumetaDrawingProbe(const char* AName);

TEST(SharedLibraryResourceTest, ImagesLoadThroughASharedLibrary) {
  EXPECT_EQ(LumetaDrawingProbe("ACTION_CALENDAR"), 16016);
  EXPECT_EQ(LumetaDrawingProbe("ACTION_GROUP_LARGE"), 32032);
  EXPECT_EQ(LumetaDrawingProbe("NOT_AN_IMAGE"), -1);
}
