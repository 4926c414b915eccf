#include <gtest/gtest.h>

#include <string>

#include "format/cp1251.h"

namespace vardis {
namespace {

std::string bytes(std::initializer_list<unsigned char> list) {
  std::string s;
  for (const unsigned char b : list) s.push_back(static_cast<char>(b));
  return s;
}

// Round trips through the whole code page.
TEST(Cp1251RoundTrip, EveryAssignedByteComesBack) {
  for (int b = 0; b <= 0xFF; ++b) {
    if (b == 0x98) continue;
    const std::string one(1, static_cast<char>(b));
    const std::string utf8 = cp1251ToUtf8(one);
    EXPECT_TRUE(isValidUtf8(utf8)) << "byte " << b;
    EXPECT_EQ(utf8ToCp1251(utf8), one) << "byte " << b;
  }
}

TEST(Cp1251RoundTrip, WholeCodePageInOneText) {
  std::string all;
  for (int b = 0; b <= 0xFF; ++b) {
    if (b != 0x98) all.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(all)), all);
}

TEST(Cp1251RoundTrip, HighBytesAreNeverAscii) {
  // Every byte from 0x80 up stands for a character outside ASCII; a table
  // slip would show up as a one-byte UTF-8 text.
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::string utf8 = cp1251ToUtf8(std::string(1, static_cast<char>(b)));
    EXPECT_GE(utf8.size(), 2u) << "byte " << b;
  }
}

TEST(Cp1251RoundTrip, UnassignedByteDecodesToReplacementAndNothingEncodesToIt) {
  EXPECT_EQ(cp1251ToUtf8(bytes({0x98})), "\xEF\xBF\xBD");
  EXPECT_EQ(utf8ToCp1251("\xEF\xBF\xBD"), "?");
}

// Known characters of the reports.
TEST(Cp1251Encode, RussianWordsOfTheReports) {
  EXPECT_EQ(utf8ToCp1251("Гкал"), bytes({0xC3, 0xEA, 0xE0, 0xEB}));
  EXPECT_EQ(utf8ToCp1251(" Гдж"), bytes({0x20, 0xC3, 0xE4, 0xE6}));
  EXPECT_EQ(utf8ToCp1251("АЯая"), bytes({0xC0, 0xDF, 0xE0, 0xFF}));
  EXPECT_EQ(utf8ToCp1251("Ёё"), bytes({0xA8, 0xB8}));
}

TEST(Cp1251Encode, SignsOutsideTheAlphabet) {
  EXPECT_EQ(utf8ToCp1251("№"), bytes({0xB9}));
  EXPECT_EQ(utf8ToCp1251("€"), bytes({0x88}));
  EXPECT_EQ(utf8ToCp1251("°"), bytes({0xB0}));
  EXPECT_EQ(utf8ToCp1251("«»"), bytes({0xAB, 0xBB}));
  EXPECT_EQ(utf8ToCp1251("—"), bytes({0x97}));
  EXPECT_EQ(utf8ToCp1251("\xC2\xA0"), bytes({0xA0}));  // no-break space
}

TEST(Cp1251Encode, LookAlikeLettersStayApart) {
  EXPECT_EQ(utf8ToCp1251("C"), bytes({0x43}));  // Latin
  EXPECT_EQ(utf8ToCp1251("С"), bytes({0xD1}));  // Cyrillic
  EXPECT_EQ(utf8ToCp1251("|Cут. : "), bytes({'|', 0x43, 0xF3, 0xF2, '.', ' ', ':', ' '}));
  EXPECT_EQ(utf8ToCp1251("Tнc1"), bytes({0x54, 0xED, 0x63, '1'}));
  EXPECT_EQ(utf8ToCp1251("ТC"), bytes({0xD2, 0x43}));
}

TEST(Cp1251Encode, AsciiAndControlsPassUnchanged) {
  const std::string ascii = std::string("a\0b\r\n\t\x7F", 7);
  EXPECT_EQ(utf8ToCp1251(ascii), ascii);
  EXPECT_EQ(utf8ToCp1251(""), "");
}

TEST(Cp1251Encode, CharactersTheCodePageLacksBecomeQuestionMarks) {
  EXPECT_EQ(utf8ToCp1251("日本"), "??");
  EXPECT_EQ(utf8ToCp1251("\xF0\x9F\x98\x80"), "?");  // one character outside the BMP
  EXPECT_EQ(utf8ToCp1251("\xC2\x80"), "?");          // U+0080, a C1 control
  EXPECT_EQ(utf8ToCp1251("é"), "?");
  EXPECT_EQ(utf8ToCp1251("Ω=1"), "?=1");
}

TEST(Cp1251Encode, InvalidUtf8BecomesQuestionMarksWithoutEatingNeighbours) {
  EXPECT_EQ(utf8ToCp1251("\x80"), "?");
  EXPECT_EQ(utf8ToCp1251("a\xFF"
                         "b"),
            "a?b");
  EXPECT_EQ(utf8ToCp1251("\xE2\x82"
                         "A"),
            "?A");                       // cut short before an ASCII letter
  EXPECT_EQ(utf8ToCp1251("\xD0"), "?");  // cut short at the end
  EXPECT_EQ(utf8ToCp1251("\xD0\xD0\x93"), "?\xC3");
  EXPECT_EQ(utf8ToCp1251("\xC0\xAF"), "??");       // overlong '/'
  EXPECT_EQ(utf8ToCp1251("\xED\xA0\x80"), "???");  // a surrogate
}

// Decoding the code page.
TEST(Cp1251Decode, KnownBytes) {
  EXPECT_EQ(cp1251ToUtf8(bytes({0xC3, 0xEA, 0xE0, 0xEB})), "Гкал");
  EXPECT_EQ(cp1251ToUtf8(bytes({0xB9})), "№");
  EXPECT_EQ(cp1251ToUtf8(bytes({0x80, 0x88, 0x99, 0xA5, 0xB4})), "Ђ€™Ґґ");
  EXPECT_EQ(cp1251ToUtf8(bytes({0xA8, 0xB8})), "Ёё");
  EXPECT_EQ(cp1251ToUtf8("Toc 1"), "Toc 1");
}

// UTF-8 validation.
TEST(Utf8Validation, AcceptsWellFormedText) {
  EXPECT_TRUE(isValidUtf8(""));
  EXPECT_TRUE(isValidUtf8("ascii text"));
  EXPECT_TRUE(isValidUtf8(std::string("\0", 1)));
  EXPECT_TRUE(isValidUtf8("ВАРДИС АРХИВ V2.1"));
  EXPECT_TRUE(isValidUtf8("\xED\x9F\xBF"));      // U+D7FF, just below the surrogates
  EXPECT_TRUE(isValidUtf8("\xEE\x80\x80"));      // U+E000, just above them
  EXPECT_TRUE(isValidUtf8("\xEF\xBF\xBF"));      // U+FFFF
  EXPECT_TRUE(isValidUtf8("\xF0\x90\x80\x80"));  // U+10000
  EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF
}

TEST(Utf8Validation, RejectsOverlongForms) {
  EXPECT_FALSE(isValidUtf8("\xC0\x80"));
  EXPECT_FALSE(isValidUtf8("\xC1\xBF"));
  EXPECT_FALSE(isValidUtf8("\xE0\x80\x80"));
  EXPECT_FALSE(isValidUtf8("\xE0\x9F\xBF"));
  EXPECT_FALSE(isValidUtf8("\xF0\x80\x80\x80"));
  EXPECT_FALSE(isValidUtf8("\xF0\x8F\xBF\xBF"));
}

TEST(Utf8Validation, RejectsSurrogatesAndCodePointsBeyondUnicode) {
  EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // U+D800
  EXPECT_FALSE(isValidUtf8("\xED\xBF\xBF"));      // U+DFFF
  EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // U+110000
  EXPECT_FALSE(isValidUtf8("\xF5\x80\x80\x80"));
  EXPECT_FALSE(isValidUtf8("\xFF"));
  EXPECT_FALSE(isValidUtf8("\xFE"));
}

TEST(Utf8Validation, RejectsTruncatedAndStrayBytes) {
  EXPECT_FALSE(isValidUtf8("\xD0"));
  EXPECT_FALSE(isValidUtf8("\xE2\x82"));
  EXPECT_FALSE(isValidUtf8("\xF0\x9F\x98"));
  EXPECT_FALSE(isValidUtf8("ok\xD0"));
  EXPECT_FALSE(isValidUtf8("\x80"));
  EXPECT_FALSE(
      isValidUtf8("a\xBF"
                  "b"));
  EXPECT_FALSE(isValidUtf8("\xD0\x41"));  // lead byte followed by ASCII
  // Code page 1251 bytes are not UTF-8.
  EXPECT_FALSE(isValidUtf8(bytes({0xC3, 0xEA, 0xE0, 0xEB})));
}

}  // namespace
}  // namespace vardis
