#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace platform {
namespace {

// String's == is the framework's case-insensitive equality; the tests
// compare bytes unless equality itself is what they check.
std::string Bytes(const String& s) { return s.str(); }

TEST(TextEqualsTest, AsciiFoldsAndEverythingElseIsExact) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"JSX", "jsx", true},
      {"Illustrator", "iLLUSTRATOR", true},
      {"", "", true},
      {"abc", "abcd", false},
      {"abcd", "abc", false},
      {"a-b", "a_b", false},
      {"@", "`", false},    // one apart from A/a in ASCII, but not letters
      {"[", "{", false},
      {"パレット", "パレット", true},
      {"パレット", "ﾊﾟﾚｯﾄ", false},  // half-width katakana
      {"パレット", "ぱれっと", false},  // hiragana
      {"ＪＳＸ", "ｊｓｘ", false},      // full-width letters are not folded
      {"ＪＳＸ", "JSX", false},
      {"é", "É", false},
      {"é", "e\xCC\x81", false},  // composed vs decomposed: bytes differ
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(TextEquals(c.a, c.b), c.equal);
    EXPECT_EQ(TextEquals(c.b, c.a), c.equal);
    EXPECT_EQ(String(c.a) == String(c.b), c.equal);
    EXPECT_EQ(String(c.a) != String(c.b), !c.equal);
  }
}

TEST(TextEqualsTest, EmbeddedNulIsAByteLikeAnyOther) {
  const std::string a("a\0b", 3);
  const std::string b("A\0B", 3);
  const std::string c("a\0c", 3);
  EXPECT_TRUE(TextEquals(a, b));
  EXPECT_FALSE(TextEquals(a, c));
  EXPECT_FALSE(TextEquals(a, "a"));
}

TEST(InStrTest, Table) {
  struct Case {
    int32_t start;
    const char* text;
    const char* find;
    int32_t expected;
  };
  const Case cases[] = {
      {0, "hello.jsx", ".jsx", 6},
      {0, "hello.JSX", ".jsx", 6},      // case-insensitive
      {0, "abcabc", "abc", 1},
      {1, "abcabc", "abc", 1},
      {2, "abcabc", "abc", 4},
      {4, "abcabc", "abc", 4},
      {5, "abcabc", "abc", 0},
      {100, "abcabc", "abc", 0},
      {-5, "abcabc", "c", 3},
      {0, "abc", "", 0},                // empty find
      {0, "", "a", 0},
      {0, "", "", 0},
      {0, "ab", "abc", 0},              // longer than the text
      {0, "aab", "ab", 2},              // retry after a partial match
      {0, "パレット.jsx", ".JSX", 13},  // positions count bytes
      {0, "パレット", "レ", 4},
      {0, "é", "É", 0},                 // non-ASCII is exact
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.find + " from " + std::to_string(c.start));
    EXPECT_EQ(InStr(c.start, c.text, c.find), c.expected);
    if (c.start == 0) {
      EXPECT_EQ(InStr(c.text, c.find), c.expected);
    }
  }
}

const char kSep[] = "</>";

TEST(FieldsTest, CountFieldsTable) {
  struct Case {
    const char* text;
    const char* separator;
    int32_t count;
  };
  const Case cases[] = {
      {"", kSep, 0},
      {"a", kSep, 1},
      {"a</>", kSep, 2},
      {"a</>b</>", kSep, 3},
      {"a</>b", kSep, 2},
      {"</>", kSep, 2},
      {"</></>", kSep, 3},
      {"a</b>c", kSep, 1},        // a partial separator is not one
      {"a</></>b", kSep, 3},
      {"a", "", 1},               // empty separator: the whole text
      {"a</>b", "", 1},
      {"", "", 0},
      {"x,,y", ",", 3},
      {"aaaa", "aa", 3},          // separators do not overlap
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\" by \"" + c.separator + "\"");
    EXPECT_EQ(CountFields(c.text, c.separator), c.count);
  }
}

TEST(FieldsTest, NthFieldTable) {
  struct Case {
    const char* text;
    int32_t n;
    const char* expected;
  };
  const Case cases[] = {
      {"one</>two</>three", 1, "one"},
      {"one</>two</>three", 2, "two"},
      {"one</>two</>three", 3, "three"},
      {"one</>two</>three", 4, ""},    // past the end
      {"one</>two</>three", 100, ""},
      {"one</>two</>three", 0, ""},
      {"one</>two</>three", -1, ""},
      {"a</>", 2, ""},                 // the empty last field
      {"</>b", 1, ""},
      {"</>b", 2, "b"},
      {"", 1, ""},
      {"solo", 1, "solo"},
      {"solo", 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " #" + std::to_string(c.n));
    EXPECT_EQ(Bytes(NthField(c.text, kSep, c.n)), c.expected);
  }
  EXPECT_EQ(Bytes(NthField("a</>b", "", 1)), "a</>b");
  EXPECT_EQ(Bytes(NthField("a</>b", "", 2)), "");
}

// The bridge walks fields with ForEachField where the palette's scripts used
// CountFields and NthField; the three must agree field for field.
TEST(FieldsTest, ForEachFieldAgreesWithCountFieldsAndNthField) {
  struct Case {
    const char* text;
    const char* separator;
  };
  const Case cases[] = {
      {"", kSep},          {"a", kSep},         {"a</>", kSep},
      {"a</>b</>", kSep},  {"</>", kSep},       {"</></>x</>", kSep},
      {"パレット</>スクリプト</>JSX", kSep},
      {"a</b>c</>d", kSep}, {"abc", ""},        {"", ""},
      {"x,,y,", ","},      {"aaaaa", "aa"},     {"no separator here", "|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\" by \"" + c.separator + "\"");
    std::vector<std::string> fields;
    ForEachField(c.text, c.separator,
                 [&fields](std::string_view field) { fields.emplace_back(field); });
    ASSERT_EQ(static_cast<int32_t>(fields.size()), CountFields(c.text, c.separator));
    for (std::size_t i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(fields[i], Bytes(NthField(c.text, c.separator, static_cast<int32_t>(i + 1))))
          << "field " << i + 1;
    }
  }
}

TEST(LeftBTest, CountsBytesNotCharacters) {
  struct Case {
    const char* text;
    int32_t n;
    std::string expected;
  };
  const Case cases[] = {
      // Length 1, the palette's own: the first byte, also of a character
      // that takes more.
      {".hidden", 1, "."},
      {"a.jsx", 1, "a"},
      {"パレット", 1, "\xE3"},
      {"", 1, ""},
      {"パレット", 3, "パ"},
      {"パレット", 6, "パレ"},
      {"パレット", 4, "パ\xE3"},  // cuts inside a character: bytes, as asked
      {"パレット", 12, "パレット"},
      {"パレット", 13, "パレット"},
      {"abc", 0, ""},
      {"abc", -1, ""},
      {"abc", std::numeric_limits<int32_t>::max(), "abc"},
      {"", 5, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.n));
    EXPECT_EQ(Bytes(LeftB(c.text, c.n)), c.expected);
  }
}

TEST(ValTest, Table) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"42", 42},
      {"  42", 42},
      {"\t 7", 7},
      {"-3", -3},
      {"+3", 3},
      {"  -2.5", -2.5},
      {"3.25", 3.25},
      {".5", 0.5},
      {"5.", 5},
      {"1.5e3", 1500},
      {"1.5E+3", 1500},
      {"25e-2", 0.25},
      {"2e", 2},           // an exponent without digits is not one
      {"2e+", 2},
      {"12abc", 12},
      {"12.5.6", 12.5},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {".", 0},
      {"- 5", 0},
      {"x12", 0},
      {"0e5000", 0},       // zero stays zero under a huge exponent
      {"-0e99999", 0},
      {"1e-400", 0},       // underflows to zero
      {"0.1", 0.1},
      {"123456789.123456789", 123456789.123456789},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("\"") + c.text + "\"");
    const double v = Val(c.text);
    ASSERT_FALSE(std::isnan(v));
    EXPECT_DOUBLE_EQ(v, c.expected);
  }
}

TEST(ValTest, NaNAndInfinityTextsAreNotNumbers) {
  for (const char* text : {"NaN", "nan", "inf", "-inf", "Infinity", "0x10"}) {
    SCOPED_TRACE(text);
    const double v = Val(text);
    EXPECT_FALSE(std::isnan(v));
    EXPECT_FALSE(std::isinf(v));
  }
  EXPECT_EQ(Val("0x10"), 0);  // hex is not read
}

TEST(ValTest, TooLargeForADoubleIsInfinity) {
  EXPECT_EQ(Val("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Val("-1e400"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(Val(std::string(400, '9')), std::numeric_limits<double>::infinity());
}

TEST(ToInt32Test, SaturatesTruncatesAndZeroesNaN) {
  struct Case {
    double value;
    int32_t expected;
  };
  const Case cases[] = {
      {0.0, 0},
      {1.9, 1},
      {-1.9, -1},           // towards zero
      {-0.5, 0},
      {2147483646.9, 2147483646},
      {2147483647.0, INT32_MAX},
      {2147483648.0, INT32_MAX},
      {-2147483648.0, INT32_MIN},
      {-2147483649.0, INT32_MIN},
      {1e300, INT32_MAX},
      {-1e300, INT32_MIN},
      {std::numeric_limits<double>::infinity(), INT32_MAX},
      {-std::numeric_limits<double>::infinity(), INT32_MIN},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(ToInt32(c.value), c.expected);
  }
}

TEST(ToInt32Test, OfValSaturatesOutOfRangeTexts) {
  EXPECT_EQ(ToInt32(Val("99999999999999999999")), INT32_MAX);
  EXPECT_EQ(ToInt32(Val("-99999999999")), INT32_MIN);
  EXPECT_EQ(ToInt32(Val("2147483648")), INT32_MAX);
  EXPECT_EQ(ToInt32(Val("-2147483649")), INT32_MIN);
  EXPECT_EQ(ToInt32(Val("1e400")), INT32_MAX);
  EXPECT_EQ(ToInt32(Val("  12abc")), 12);
}

TEST(StrTest, RoundTripsThroughVal) {
  struct Case {
    int32_t value;
    const char* text;
  };
  const Case cases[] = {
      {0, "0"},
      {-1, "-1"},
      {1, "1"},
      {INT32_MAX, "2147483647"},
      {INT32_MIN, "-2147483648"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Bytes(Str(c.value)), c.text);
    EXPECT_EQ(ToInt32(Val(Str(c.value))), c.value);
  }
}

TEST(NameLessTest, CaseFoldedThenByteOrder) {
  // Expected order of the listing. Each pair catches a different wrong
  // comparison: plain byte order would put "B" before "a" and "Z" before
  // "_"; folding without a tie-break would leave "A"/"a" unordered; a
  // tie-break before length would put "A1" before "a".
  const std::vector<std::string> expected = {
      "",      "_x",  "A",   "a",   "A1",  "AB",  "Ab",  "aB",  "ab",
      "B",     "b",   "Z",   "z",   "É",   "é",   "パレット",
  };
  std::vector<std::string> shuffled = {
      "b",  "A",  "パレット", "a",  "B",  "_x", "ab", "Ab", "",
      "aB", "Z",  "é",        "AB", "z",  "A1", "É",
  };
  std::sort(shuffled.begin(), shuffled.end(), NameLess);
  EXPECT_EQ(shuffled, expected);

  // A strict weak order: irreflexive, and distinct names never tie.
  for (const auto& a : expected) {
    EXPECT_FALSE(NameLess(a, a)) << a;
    for (const auto& b : expected) {
      if (a != b) {
        EXPECT_NE(NameLess(a, b), NameLess(b, a)) << a << " / " << b;
      }
    }
  }
}

TEST(NameLessTest, BytesAboveAsciiSortAfterAscii) {
  // Unsigned comparison: a signed char would put UTF-8 lead bytes first.
  EXPECT_TRUE(NameLess("z", "é"));
  EXPECT_TRUE(NameLess("~", "\x80"));
  EXPECT_FALSE(NameLess("\xFF", "a"));
}

}  // namespace
}  // namespace platform
