// The expat event framework: dispatch, chunked streaming, error reports.
#include "input/sax_handler.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "input/bulk_text.h"
#include "tests/test_support.h"

using testsupport::TempDir;

namespace {

// Records every event as text: "<name a=v>", "</name>", "[text]".
class RecordingHandler : public SAXHandler {
 public:
  void startElement(const char* name, const char** attributes) override {
    log += std::string("<") + name;
    for (const char** a = attributes; *a != nullptr; a += 2) log += std::string(" ") + a[0] + "=" + a[1];
    log += ">";
  }
  void endElement(const char* name) override { log += std::string("</") + name + ">"; }
  void characters(const char* text, int len) override {
    log += "[" + std::string(text, static_cast<std::size_t>(len)) + "]";
    collected.append(text, static_cast<std::size_t>(len));
    ++textCalls;
  }
  std::string log;
  std::string collected;
  int textCalls = 0;
};

struct ParseResult {
  bool ok;
  std::string err;
};

ParseResult parseFile(RecordingHandler& handler, const std::string& path) {
  handler.inputFile = path;
  testsupport::ConsoleCapture capture;
  const bool ok = handler.parse();
  return {ok, capture.takeErr()};
}

}  // namespace

TEST(SaxHandler, DeliversEventsInDocumentOrder) {
  TempDir dir;
  RecordingHandler handler;
  const auto result = parseFile(handler, dir.write("a.xml", "<a x=\"1\" y=\"2\"><b/>t</a>"));
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.err, "");
  EXPECT_FALSE(handler.parseFailed);
  EXPECT_EQ(handler.log, "<a x=1 y=2><b></b>[t]</a>");
}

TEST(SaxHandler, GetAttrValueTakesFirstMatchOrEmpty) {
  RecordingHandler handler;
  const char* attributes[] = {"num", "5", "Num", "6", "num", "7", nullptr};
  EXPECT_STREQ(handler.getAttrValue("num", attributes), "5");
  EXPECT_STREQ(handler.getAttrValue("Num", attributes), "6");
  EXPECT_STREQ(handler.getAttrValue("missing", attributes), "");
}

TEST(SaxHandler, TextSplitAcrossChunksArrivesInPieces) {
  TempDir dir;
  const std::string body(20000, 'x');
  RecordingHandler handler;
  EXPECT_TRUE(parseFile(handler, dir.write("big.xml", "<a>" + body + "</a>")).ok);
  EXPECT_EQ(handler.collected, body);
  EXPECT_GE(handler.textCalls, 3);
}

TEST(SaxHandler, FileOfExactChunkMultipleParses) {
  TempDir dir;
  const std::string frame = "<a></a>";
  const std::string document = "<a>" + std::string(16384 - frame.size(), 'y') + "</a>";
  ASSERT_EQ(document.size(), 16384u);
  RecordingHandler handler;
  EXPECT_TRUE(parseFile(handler, dir.write("exact.xml", document)).ok);
}

// A tag far longer than a chunk: its attribute arrives whole, and parsing stays
// fast: expat scans an unfinished token again on every call it is fed, so the
// reads grow while no event comes (about a dozen reads for 6 MiB, where reads of
// one 8 KiB chunk would take 768 and scan the attribute 768 times).
TEST(SaxHandler, AttributeOfSeveralMegabytes) {
  TempDir dir;
  const std::string value(6 << 20, '7');
  RecordingHandler handler;
  EXPECT_TRUE(parseFile(handler, dir.write("attr.xml", "<a v=\"" + value + "\">t</a>")).ok);
  EXPECT_LT(handler.markupReads, 32u);
  EXPECT_EQ(handler.log, "<a v=" + value + ">[t]</a>");
}

TEST(SaxHandler, EmptyFileIsReported) {
  TempDir dir;
  const std::string path = dir.write("empty.xml", "");
  RecordingHandler handler;
  const auto result = parseFile(handler, path);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(handler.parseFailed);
  // expat: no element found (code 3).
  EXPECT_EQ(result.err, path + "(1) : error 3: XML Parsing error.\n");
}

TEST(SaxHandler, MalformedDocumentKeepsEarlierEvents) {
  TempDir dir;
  const std::string path = dir.write("bad.xml", "<a>\n<b>one</b>\n<c><</c>\n</a>");
  RecordingHandler handler;
  const auto result = parseFile(handler, path);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(handler.parseFailed);
  EXPECT_EQ(handler.log.rfind("<a>[\n]<b>[one]</b>[\n]<c>", 0), 0u);
  EXPECT_EQ(result.err, path + "(3) : error 4: Syntax error parsing XML.\n");
}

TEST(SaxHandler, MissingFileIsReported) {
  RecordingHandler handler;
  const auto result = parseFile(handler, "/nonexistent/run.mzXML");
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(handler.parseFailed);
  EXPECT_EQ(result.err, "Failed to open input file '/nonexistent/run.mzXML'.\n");
  EXPECT_EQ(handler.log, "");
}

TEST(SaxHandler, EntityExpansionIsRefused) {
  TempDir dir;
  std::string document = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol0 \"lollollollollollol\">\n";
  for (int i = 1; i <= 9; ++i) {
    document += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) document += "&lol" + std::to_string(i - 1) + ";";
    document += "\">\n";
  }
  document += "]>\n<lolz>&lol9;</lolz>\n";
  RecordingHandler handler;
  const auto result = parseFile(handler, dir.write("laughs.xml", document));
  EXPECT_FALSE(result.ok);
  EXPECT_LT(handler.collected.size(), 100000000u);
  EXPECT_NE(result.err.find("XML Parsing error."), std::string::npos);
}

// The vector scans of array text (sixteen and thirty-two bytes, and byte by
// byte) against the byte table: every byte value at every place of a block
// and of the tail after it, and whether a line break lies before the end.
TEST(BulkText, TextEndsAtTheFirstByteThatIsNotBase64OrWhiteSpace) {
  const auto isText = [](unsigned char c) {
    return std::isalnum(c) != 0 || c == '+' || c == '/' || c == '=' || c == ' ' || c == '\t' || c == '\n' ||
           c == '\r';
  };
  std::vector<int> widths = {1, 16};
  if (bulk_text::hasWideScan()) widths.push_back(32);
  for (int width : widths) {
    for (int value = 0; value < 256; ++value) {
      for (std::size_t at = 0; at < 72; ++at) {
        std::string data(72, 'Q');
        data[at] = static_cast<char>(value);
        const bool text = isText(static_cast<unsigned char>(value));
        const std::size_t expected = text ? data.size() : at;
        bool lineEnds = false;
        ASSERT_EQ(bulk_text::textEndAt(width, data.data(), 0, data.size(), lineEnds), expected)
            << width << ": " << value << " at " << at;
        ASSERT_EQ(lineEnds, value == '\n' || value == '\r') << width << ": " << value << " at " << at;
        ASSERT_EQ(bulk_text::textEndAt(width, data.data(), 3, data.size(), lineEnds),
                  at < 3 ? data.size() : expected)
            << width << ": " << value;
      }
    }
    // A line break before a stop byte is seen; one after it is not.
    for (std::size_t at = 0; at < 72; ++at) {
      for (std::size_t br = 0; br < 72; ++br) {
        std::string data(72, 'Q');
        data[at] = '<';
        if (br == at) continue;
        data[br] = '\n';
        bool lineEnds = false;
        ASSERT_EQ(bulk_text::textEndAt(width, data.data(), 0, data.size(), lineEnds), at);
        ASSERT_EQ(lineEnds, br < at) << width << ": break at " << br << ", stop at " << at;
      }
    }
  }
}
