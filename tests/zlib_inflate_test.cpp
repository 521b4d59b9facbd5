#include "input/zlib_inflate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

using testsupport::zlibCompress;

TEST(InflateLimited, WholeStreamsLimitsAndDamagedData) {
  const std::string text(200000, 'x');
  const std::string stream = zlibCompress(text);
  struct Case {
    const char* name;
    std::string data;
    std::size_t limit;
    bool ok;
    std::size_t size;  // of the output
  };
  const Case cases[] = {
      {"whole stream", stream, 1000000, true, text.size()},
      {"exactly the limit", stream, text.size(), true, text.size()},
      {"past the limit: stops one byte over", stream, 1000, true, 1001},
      {"cut short", stream.substr(0, stream.size() / 2), 1000000, false, 0},
      {"not zlib", std::string("plain text, not a stream"), 1000000, false, 0},
      {"empty", std::string(), 1000000, false, 0},
      {"empty stream", zlibCompress(""), 10, true, 0},
  };
  for (const Case& c : cases) {
    std::vector<char> out{'s', 't', 'a', 'l', 'e'};
    EXPECT_EQ(
        inflateLimited(reinterpret_cast<const unsigned char*>(c.data.data()), c.data.size(), c.limit, out),
        c.ok)
        << c.name;
    ASSERT_EQ(out.size(), c.size) << c.name;
    EXPECT_EQ(std::string(out.begin(), out.end()), text.substr(0, c.size)) << c.name;
  }
}
