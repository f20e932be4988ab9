// The shared text helpers at their edges: only ASCII letters change case
// (whatever the locale), every control a line could hide is shown, and a
// number's text is the shortest that reads back as the same double.
#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

#include "text/ascii_case.h"
#include "text/number_text.h"
#include "text/printable_text.h"

namespace {

TEST(AsciiCase, OnlyAsciiLettersChangeWhateverTheLocale) {
  // Latin-1 "É" (0xC9) and UTF-8 "É" (0xC3 0x89) stay as they are, even in
  // a locale whose tolower would map 0xC9.
  const bool latin1 = std::setlocale(LC_ALL, "de_DE.ISO-8859-1") != nullptr;
  EXPECT_EQ(std::string("abc-\xC9-\xC3\x89-z@[`{"), textutil::Lower("ABC-\xC9-\xC3\x89-Z@[`{"));
  EXPECT_FALSE(textutil::EqualsNoCase("\xC9", "\xE9"));
  if (latin1) std::setlocale(LC_ALL, "C");
  EXPECT_EQ("", textutil::Lower(""));
}

TEST(AsciiCase, EqualityAndPrefixesIgnoreOnlyLetterCase) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
    bool prefix;  // b is a prefix of a
  };
  for (const Case& c :
       {Case{"Content-Type", "content-type", true, true},
        Case{"Content-Type", "content-typ", false, true},
        Case{"Content-Typ", "content-type", false, false},
        Case{"@", "`", false, false},  // one apart from 'A'/'a', not letters
        Case{"[", "{", false, false}, Case{"", "", true, true}, Case{"x", "", false, true}}) {
    EXPECT_EQ(c.equal, textutil::EqualsNoCase(c.a, c.b)) << c.a << " / " << c.b;
    EXPECT_EQ(c.prefix, textutil::StartsWithNoCase(c.a, c.b)) << c.a << " / " << c.b;
  }
}

TEST(PrintableText, EveryLineBreakingOrReorderingCharacterIsShown) {
  struct Case {
    std::string in;
    const char* out;
  };
  for (const Case& c : {
           Case{"plain text, é", "plain text, é"}, Case{"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e"},
           Case{std::string("\x00\x1b\x7f", 3), "\\x00\\x1B\\x7F"},
           Case{"\xC2\x80\xC2\x9F\xC2\xA0", "\\u0080\\u009F\xC2\xA0"},  // C1 controls, not NBSP
           Case{"\xD8\x9C", "\\u061C"},
           Case{"\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9",
                "\\u200E\\u200F\\u202A\\u202E\\u2066\\u2069"},
           Case{"\xE2\x80\xA8\xE2\x80\xA9", "\\u2028\\u2029"},
           Case{"\xE2\x80\xAF\xE2\x81\xAA", "\xE2\x80\xAF\xE2\x81\xAA"},  // next to the ranges
           Case{"\xE2\x80", "\xE2\x80"},                                  // cut short: as it is
       }) {
    EXPECT_EQ(c.out, textutil::PrintableText(c.in)) << c.in;
  }
}

TEST(NumberText, TheShortestTextThatReadsBack) {
  struct Case {
    double value;
    const char* text;
  };
  for (const Case& c :
       {Case{12, "12"}, Case{-3, "-3"}, Case{0.5, "0.5"}, Case{0.1, "0.1"}, Case{-3.25, "-3.25"},
        Case{1.0 / 3, "0.3333333333333333"}, Case{999999999999999, "999999999999999"},
        Case{1e15, "1e+15"}, Case{1e20, "1e+20"}, Case{5e-324, "5e-324"}}) {
    EXPECT_EQ(c.text, textutil::ShortestDecimal(c.value)) << c.value;
  }
  EXPECT_EQ("inf", textutil::ShortestDecimal(std::numeric_limits<double>::infinity()));
}

}  // namespace
