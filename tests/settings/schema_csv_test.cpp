// The schema file's text layer: lines into cells (quoting), files into kept rows (skipped lines,
// the byte-order mark), UTF-8 repair, trimming and ASCII case folding.
#include "settings/schema_csv.h"

#include <gtest/gtest.h>

namespace korvan {
namespace {

TEST(SchemaCsvTest, SplitsALineIntoCells) {
  struct Case {
    std::string_view line;
    SchemaRow cells;
  };
  const Case cases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"a,,b,", {"a", "", "b", ""}},
      {"", {""}},
      {"field,\"a \"\"b\"\", c\",x", {"field", "a \"b\", c", "x"}},
      // A quote mid-cell opens quotes too, and is dropped.
      {"ab\"c,d\"e", {"abc,de"}},
      {"\"a\"b\"c\"", {"abc"}},
      {"\"\"", {""}},
      {"\"\"\"\"", {"\""}},
      // An open quote at the end drops its cell; the cells closed before it stay.
      {"field,\"open", {"field"}},
      {"\"open", {}},
      {"a,\"x\"\"", {"a"}},
      // Nothing is trimmed here; a CR stays in the line.
      {" a ,\tb\r", {" a ", "\tb\r"}},
      {"\r", {"\r"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitSchemaLine(c.line), c.cells) << c.line;
  }
}

TEST(SchemaCsvTest, SplitsAFileIntoKeptRows) {
  struct Case {
    std::string_view what;
    std::string_view bytes;
    std::vector<SchemaRow> rows;
  };
  const Case cases[] = {
      {"empty file", "", {}},
      {"blank lines only", "\n,,,\n\n\"\"\n", {}},
      {"no LF at the end", "h\nrow", {{"h"}, {"row"}}},
      {"blank and comma lines skipped", ",,,\nh\n\n,\nrow\n", {{"h"}, {"row"}}},
      {"CR-only line kept", "h\n\r\nrow\r\n", {{"h"}, {"\r"}, {"row\r"}}},
      {"line with only an open quote skipped", "\"open\nh\n", {{"h"}}},
      {"byte-order mark off the first header cell",
       "\xEF\xBB\xBF  RowType ,x\nfield\n",
       {{"  RowType ", "x"}, {"field"}}},
      {"byte-order mark after skipped lines", ",\n\xEF\xBB\xBF\"h\"\n", {{"h"}}},
      {"byte-order mark elsewhere kept",
       "h,\xEF\xBB\xBFx\n\xEF\xBB\xBFrow\n",
       {{"h", "\xEF\xBB\xBFx"}, {"\xEF\xBB\xBFrow"}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitSchemaRows(c.bytes), c.rows) << c.what;
  }
}

TEST(SchemaCsvTest, RepairsMalformedUtf8) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string_view bytes;
    std::string text;
  };
  const Case cases[] = {
      {"abc", "abc"},
      {"\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4", "\xD0\x93\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {std::string_view("a\0b", 3), std::string("a\0b", 3)},
      {"\xFF", fffd},
      {"\x80x", fffd + "x"},
      {"a\xC3", "a" + fffd},
      {"\xE2\x82x", fffd + "x"},
      {"\xF0\x9F\x98", fffd},
      // Overlong forms, surrogates and values past U+10FFFF: one U+FFFD per byte.
      {"\xC0\xAF", fffd + fffd},
      {"\xE0\x80\xAF", fffd + fffd + fffd},
      {"\xED\xA0\x80", fffd + fffd + fffd},
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeCellText(c.bytes), c.text) << testing::PrintToString(std::string(c.bytes));
  }
}

TEST(SchemaCsvTest, TrimsBlanksAndFoldsAsciiOnly) {
  EXPECT_EQ(TrimSchemaText(" \t\r\nA b\r\n \t"), "A b");
  EXPECT_EQ(TrimSchemaText(" \r\n"), "");
  EXPECT_EQ(TrimSchemaText("\vx\f"), "\vx\f");
  EXPECT_EQ(AsciiLower("RowTYPE \xD0\x81"), "rowtype \xD0\x81");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("FW_Country", "fw_COUNTRY"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("FW_Country ", "FW_Country"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xD0\x81", "\xD1\x91"));  // Ё and ё
}

}  // namespace
}  // namespace korvan
