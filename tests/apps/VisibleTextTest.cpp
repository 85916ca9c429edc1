#include <gtest/gtest.h>

#include <string>

#include "apps/LumetaShell.h"
#include "apps/TaskTable.h"

namespace {

// The word-at-a-time scans must agree with a byte-by-byte reading at every place in a word and
// past it, for every byte value, in texts of every length up to three words: the last bytes of a
// text are read again within its last word, and must count once.
TEST(VisibleText, ScansAgreeWithEachByteAtEveryPlace) {
  for (size_t length = 1; length <= 24; ++length) {
    for (int byte = 0; byte < 256; ++byte) {
      for (size_t place = 0; place < length; ++place) {
        std::string text(length, 'a');
        text[place] = static_cast<char>(byte);
        const bool control = byte < 0x20 || byte == 0x7F;
        EXPECT_EQ(IsVisibleLine(text), !control) << "byte " << byte << " at " << place << " of " << length;
        const bool continuation = (byte & 0xC0) == 0x80;
        EXPECT_EQ(TextWidth(text), continuation ? length - 1 : length) << "byte " << byte << " at " << place << " of " << length;
      }
    }
  }
}

TEST(VisibleText, ControlCharactersShowAsTheirPictures) {
  std::string line = "x";
  AppendVisibleLine(line, "tab\there\r\nbell\x07" "del\x7F" "esc\x1B" "Ω");
  EXPECT_EQ(line, "xtab here  bell\u2407del\u2421esc\u241BΩ");
  EXPECT_EQ(TextWidth(line), 25u);  // a picture is one character
}

}  // namespace
