// Reading rules of settings and layout files, and the value conversions.
#include <gtest/gtest.h>

#include "core/Convert.h"
#include "core/ProfileString.h"
#include "screens/modScreens.h"

namespace qv {
namespace {

ProfileFile Parse(const std::string& text) {
  return ProfileFile(std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(ProfileFile, SectionsAndKeysIgnoreCaseAndFirstOccurrenceWins) {
  const ProfileFile f = Parse(
      "; comment\r\n"
      "[General]\r\n"
      "  ResX =  1024  \r\n"
      "resx=800\r\n"
      "[GENERAL]\r\n"
      "Top=5\r\n"
      "[Audio]\n"
      "Source=\"C:\\Music\\\"\n"
      "Empty=\n");
  EXPECT_EQ(f.Get("general", "RESX"), "1024");
  // A section written again counts only in its first block.
  EXPECT_EQ(f.Get("General", "Top"), "");
  EXPECT_EQ(f.Get("audio", "source"), "C:\\Music\\");
  EXPECT_EQ(f.Get("Audio", "Empty"), "");
  EXPECT_EQ(f.Get("Audio", "Missing"), "");
  EXPECT_EQ(f.Get("Nowhere", "Source"), "");
  // Keys before any section belong to none.
  EXPECT_EQ(Parse("a=1\n[s]\nb=2").Get("s", "a"), "");
}

TEST(ProfileFile, ReadsLineEndsNulsHeadersAndUtf16AsWindowsDoes) {
  // A lone CR ends a line; a NUL ends the value; "[x" is no section.
  const ProfileFile f = Parse(std::string("[s]\ra=1\rb=2\r\n[t\nc=3\nd=4\0junk\n", 29));
  EXPECT_EQ(f.Get("s", "a"), "1");
  EXPECT_EQ(f.Get("s", "b"), "2");
  EXPECT_EQ(f.Get("s", "c"), "3");
  EXPECT_EQ(f.Get("s", "d"), "4");
  EXPECT_EQ(f.Get("t", "c"), "");
  EXPECT_EQ(f.Quirks().size(), 3u);
  // UTF-16 little and big endian with their byte-order marks.
  const std::string ascii = "[0]\r\nType=button\r\n";
  std::vector<uint8_t> le{0xFF, 0xFE}, be{0xFE, 0xFF};
  for (char c : ascii) {
    le.insert(le.end(), {static_cast<uint8_t>(c), 0});
    be.insert(be.end(), {0, static_cast<uint8_t>(c)});
  }
  le.insert(le.end(), {0xE4, 0x00});  // a trailing "ä" without its line end
  EXPECT_EQ(ProfileFile(le).Get("0", "type"), "button");
  EXPECT_EQ(ProfileFile(be).Get("0", "type"), "button");
  EXPECT_EQ(Parse("").Quirks().size(), 0u);
}

TEST(ProfileFile, ValuesAreCutTo254Characters) {
  const std::string longValue(300, 'x');
  EXPECT_EQ(Parse("[s]\nk=" + longValue).Get("s", "k"), std::string(254, 'x'));
  // The cut counts characters, not bytes.
  std::string umlauts;
  for (int i = 0; i < 260; ++i) umlauts += "\xC3\xA4";
  const std::string got = Parse("[s]\nk=" + umlauts).Get("s", "k");
  EXPECT_EQ(Utf8Length(got), 254u);
  EXPECT_TRUE(IsValidUtf8(got));
}

TEST(ProfileFile, AnsiFilesAreReadAsWindows1252) {
  // "Müsik" and a euro sign written in the ANSI code page.
  const std::vector<uint8_t> ansi = {'[', 's', ']', '\n', 'k', '=', 'M', 0xFC, 's', 'i', 'k', 0x80};
  EXPECT_EQ(ProfileFile(ansi).Get("s", "k"), "M\xC3\xBCsik\xE2\x82\xAC");
  const std::string utf8 = "[s]\nk=M\xC3\xBCsik";
  EXPECT_EQ(Parse(utf8).Get("s", "k"), "M\xC3\xBCsik");
}

TEST(ProfileFile, LowerCasingCoversLatinCapitals) {
  EXPECT_EQ(LowerCase("C:\\MUSIK\\\xC3\x84rger\xC3\x97"), "c:\\musik\\\xC3\xA4rger\xC3\x97");
}

TEST(Conversions, HalvesGoToTheEvenNeighbour) {
  int16_t v = 0;
  ASSERT_TRUE(ParseInt16("1024.5", &v));
  EXPECT_EQ(v, 1024);
  ASSERT_TRUE(ParseInt16("1025.5", &v));
  EXPECT_EQ(v, 1026);
  ASSERT_TRUE(ParseInt16("-2.5", &v));
  EXPECT_EQ(v, -2);
  ASSERT_TRUE(ParseInt16("  -0.4 ", &v));
  EXPECT_EQ(v, 0);
  EXPECT_DOUBLE_EQ(RoundHalfEven(37.5), 38.0);
  EXPECT_DOUBLE_EQ(RoundHalfEven(36.5), 36.0);
  EXPECT_DOUBLE_EQ(RoundHalfEven(-3.5), -4.0);
}

TEST(Conversions, RejectsWhatIsNoNumberOrOutOfRange) {
  int16_t v = 7;
  EXPECT_FALSE(ParseInt16("", &v));
  EXPECT_FALSE(ParseInt16("12px", &v));
  EXPECT_FALSE(ParseInt16("1e3", &v));
  EXPECT_FALSE(ParseInt16("32768", &v));
  EXPECT_TRUE(ParseInt16("32767.4", &v));
  EXPECT_EQ(v, 32767);
  EXPECT_FALSE(ParseInt16("-32768.6", &v));
}

TEST(Conversions, Booleans) {
  bool b = false;
  for (const char* t : {"true", "True", "-1", "1", "2.5"}) {
    ASSERT_TRUE(ParseBool(t, &b)) << t;
    EXPECT_TRUE(b) << t;
  }
  for (const char* f : {"false", "0", "0.0"}) {
    ASSERT_TRUE(ParseBool(f, &b)) << f;
    EXPECT_FALSE(b) << f;
  }
  EXPECT_FALSE(ParseBool("yes", &b));
  EXPECT_FALSE(ParseBool("", &b));
}

TEST(Colors, ComponentsAreRoundedDownAndPacked) {
  Color c = 0;
  ASSERT_TRUE(ParseColorChecked("255|128|0", &c));
  EXPECT_EQ(c, 255u + 256u * 128u);
  ASSERT_TRUE(ParseColorChecked("12.9|0|1", &c));
  EXPECT_EQ(c, 12u + 65536u);
  EXPECT_FALSE(ParseColorChecked("1|2", &c));
  EXPECT_FALSE(ParseColorChecked("1|2|3|4", &c));
  EXPECT_FALSE(ParseColorChecked("1|x|3", &c));
  EXPECT_EQ(ParseColor("garbage"), 0u);
}

TEST(LayoutCheck, ReportsMalformedValuesAndNotesUnknownTypes) {
  const ProfileFile f = Parse(
      "[0]\nType=Button\nPosition=1;2;3\nCommand0=loadscreen\n"
      "[1]\nType=textbox\nPosition=1;2;3;4\nFont=arial;12;true;false;1|2;1\n"
      "[2]\nType=panel\nPosition=0;0;10;10\n"
      "[3]\nType=listbox\nPosition=1;2;3;4\nFont=arial;12;0;0;1|2|3;1\nMultiSelect=1\n"
      "SelFontColor=1|2|3\nSelBackgroundColor=1|2|3\nFocusRectColor=1|2|3\n");
  const auto p0 = CheckLayoutSection(f, 0);
  ASSERT_EQ(p0.size(), 2u);
  EXPECT_EQ(p0[0].key, "Command0");
  EXPECT_EQ(p0[1].key, "Position");
  const auto p1 = CheckLayoutSection(f, 1);
  ASSERT_EQ(p1.size(), 1u);
  EXPECT_EQ(p1[0].key, "Font");
  const auto p2 = CheckLayoutSection(f, 2);
  ASSERT_EQ(p2.size(), 1u);
  EXPECT_NE(p2[0].problem.find("note"), std::string::npos);
  EXPECT_TRUE(CheckLayoutSection(f, 3).empty());
}

}  // namespace
}  // namespace qv
