// The tokenizer that reads plainly written markup past expat.
#include "input/quick_markup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Name and attributes of the tag read, as "name a=v b=w".
std::string tagText(QuickMarkup& quick) {
  std::string text = quick.tagName();
  for (const char** a = quick.attributes(); *a != nullptr; a += 2)
    text += std::string(" ") + a[0] + "=" + a[1];
  return text;
}

}  // namespace

TEST(QuickMarkup, StartTagsReadOrDeclined) {
  struct Case {
    const char* markup;
    std::size_t end;  // 0: declined
    bool cut;
    bool empty;
    std::size_t lineBreaks;
    const char* tag;  // when read
  };
  const std::vector<Case> cases = {
      {"<scan num=\"3\" msLevel='1'>x", 26, false, false, 0, "scan num=3 msLevel=1"},
      {"<peaks/>", 8, false, true, 0, "peaks"},
      {"<a\r\n b=\"1\"\n/>", 13, false, true, 2, "a b=1"},
      {"<a b=\"x&amp;\">", 0, false, false, 0, nullptr},     // a reference: expat's
      {"<a b=\"1\" b=\"2\">", 0, false, false, 0, nullptr},  // repeated name: expat's error
      {"<a b=\"\xC3\xA9\">", 0, false, false, 0, nullptr},   // not ASCII
      {"<!-- c -->", 0, false, false, 0, nullptr},
      {"<a b=\"1", 0, true, false, 0, nullptr},  // cut off, plainly written so far
      {"<a b", 0, true, false, 0, nullptr},
      {"<a b=1>", 0, false, false, 0, nullptr},
      // Values past sixteen bytes (read sixteen at a time where the vector code is built).
      {"<a v=\"0123456789abcdefghij\">", 28, false, false, 0, "a v=0123456789abcdefghij"},
      {"<a v=\"0123456789abcdefghij<\">", 0, false, false, 0, nullptr},
  };
  for (const Case& c : cases) {
    QuickMarkup quick;
    const std::string markup = c.markup;
    bool empty = false;
    bool cut = false;
    std::size_t lineBreaks = 0;
    const std::size_t end = quick.readStartTag(markup.data(), 0, markup.size(), empty, lineBreaks, cut);
    EXPECT_EQ(end, c.end) << markup;
    EXPECT_EQ(cut, c.cut) << markup;
    if (c.end == 0) continue;
    EXPECT_EQ(empty, c.empty) << markup;
    EXPECT_EQ(lineBreaks, c.lineBreaks) << markup;
    EXPECT_EQ(tagText(quick), c.tag) << markup;
  }
}

TEST(QuickMarkup, EndTagsMatchOnlyTheInnermostOpenElement) {
  QuickMarkup quick;
  const std::string markup = "<run><scan></scan ></run></x>";
  bool empty = false;
  bool cut = false;
  std::size_t lineBreaks = 0;
  std::size_t at = quick.readStartTag(markup.data(), 0, markup.size(), empty, lineBreaks, cut);
  quick.openTag();
  at = quick.readStartTag(markup.data(), at, markup.size(), empty, lineBreaks, cut);
  quick.openTag();
  EXPECT_STREQ(quick.innermost(), "scan");
  EXPECT_EQ(quick.readEndTag(markup.data(), 19, markup.size(), lineBreaks), 0u);  // </run> is not innermost
  EXPECT_EQ(quick.readEndTag(markup.data(), at, markup.size(), lineBreaks), 19u);
  quick.closeInnermost();
  EXPECT_STREQ(quick.innermost(), "run");
  EXPECT_EQ(quick.takeOpenTags(), "<run>");
  EXPECT_FALSE(quick.anyOpen());
  EXPECT_EQ(quick.takeOpenTags(), "");
  EXPECT_TRUE(QuickMarkup::endTagCutOff("</ru", 0, 4));
  EXPECT_FALSE(QuickMarkup::endTagCutOff("</ru>", 0, 5));
}

TEST(QuickMarkup, PlainTextCountsLineBreaksAsXmlDoes) {
  struct Case {
    const char* text;
    bool plain;
    std::size_t lineBreaks;
    bool carriageReturn;
  };
  const std::vector<Case> cases = {
      {"  12 34 ", true, 0, false}, {"a\r\nb\rc\n", true, 3, true}, {"a &amp; b", false, 0, false},
      {"a ]]> b", false, 0, false}, {"\xC3\xA9", false, 0, false},  {"", true, 0, false},
  };
  for (const Case& c : cases) {
    const std::string text = c.text;
    std::size_t lineBreaks = 99;
    bool carriageReturn = false;
    EXPECT_EQ(QuickMarkup::plainText(text.data(), 0, text.size(), lineBreaks, carriageReturn), c.plain)
        << text;
    if (!c.plain) continue;
    EXPECT_EQ(lineBreaks, c.lineBreaks) << text;
    EXPECT_EQ(carriageReturn, c.carriageReturn) << text;
  }
}
