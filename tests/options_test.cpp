#include "driver/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ParseOutcome parse(std::vector<std::string> words, Options& options) {
  words.insert(words.begin(), "torva");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return parseOptions(static_cast<int>(words.size()), argv.data(), options);
}

}  // namespace

TEST(Options, DefaultsWhenOnlyInputGiven) {
  Options options;
  ASSERT_EQ(parse({"-i", "run.mzXML"}, options), ParseOutcome::Run);
  EXPECT_TRUE(options.hasInput);
  EXPECT_EQ(options.input, "run.mzXML");
  EXPECT_EQ(options.cutoff, 10000);
  EXPECT_EQ(options.massTolerance, 0.5);
  EXPECT_EQ(options.timeTolerance, 0.5);
  EXPECT_FALSE(options.srm || options.deisotope || options.removeWaterLoss || options.cull ||
               options.skipDenoise);
  EXPECT_FALSE(options.hasSummary || options.hasMap || options.hasTransitionReport);
}

TEST(Options, NumbersAreReadWithoutValidation) {
  Options options;
  ASSERT_EQ(parse({"-C", "abc", "-T", "x", "-M", "0.25da"}, options), ParseOutcome::Run);
  EXPECT_EQ(options.cutoff, 0);
  EXPECT_EQ(options.timeTolerance, 0);
  EXPECT_EQ(options.massTolerance, 0.25);
  ASSERT_EQ(parse({"-C", "2500.7"}, options), ParseOutcome::Run);
  EXPECT_EQ(options.cutoff, 2500);
}

TEST(Options, LastOccurrenceWins) {
  Options options;
  ASSERT_EQ(parse({"-C", "5", "-s", "a.tsv", "-C", "7", "-s", "b.tsv", "-i", "x", "-i", "y"}, options),
            ParseOutcome::Run);
  EXPECT_EQ(options.cutoff, 7);
  EXPECT_EQ(options.summary, "b.tsv");
  EXPECT_EQ(options.input, "y");
}

TEST(Options, FlagsAndPermutedWords) {
  Options options;
  ASSERT_EQ(parse({"extra", "-dlcSn", "-i", "in", "more", "-p", "301.1,455.2", "-P", "t.txt"}, options),
            ParseOutcome::Run);
  EXPECT_TRUE(options.deisotope && options.removeWaterLoss && options.cull && options.srm &&
              options.skipDenoise);
  EXPECT_EQ(options.input, "in");
  EXPECT_EQ(options.peakList, "301.1,455.2");
  EXPECT_EQ(options.peakFile, "t.txt");
}

TEST(Options, UsageCases) {
  Options options;
  EXPECT_EQ(parse({}, options), ParseOutcome::Usage);
  EXPECT_EQ(parse({"-h", "-i", "x"}, options), ParseOutcome::Usage);
  EXPECT_EQ(parse({"-z"}, options), ParseOutcome::Usage);
  EXPECT_EQ(parse({"-i"}, options), ParseOutcome::Usage);
  // A second parse after an error starts afresh.
  ASSERT_EQ(parse({"-i", "again"}, options), ParseOutcome::Run);
  EXPECT_EQ(options.input, "again");
}

TEST(Options, SeedsAndWhetherTheCutoffWasGiven) {
  Options options;
  ASSERT_EQ(parse({"-i", "x"}, options), ParseOutcome::Run);
  EXPECT_FALSE(options.traceSeeds || options.hasCutoff);
  ASSERT_EQ(parse({"-i", "x", "--seeds", "traces", "-C", "500"}, options), ParseOutcome::Run);
  EXPECT_TRUE(options.traceSeeds && options.hasCutoff);
  ASSERT_EQ(parse({"-i", "x", "--seeds", "traces", "--seeds", "peaks"}, options), ParseOutcome::Run);
  EXPECT_FALSE(options.traceSeeds);
  EXPECT_EQ(parse({"-i", "x", "--seeds", "trace"}, options), ParseOutcome::Refused);
}
