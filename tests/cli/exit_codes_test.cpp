#include "cli/exit_codes.h"

#include <gtest/gtest.h>

#include <set>

#include "job/conversion_job.h"

namespace zepra::cli {
namespace {

TEST(ExitCodes, EveryResultHasItsOwnStatus) {
  const struct {
    int result;
    int exitCode;
  } cases[] = {
      {kJobOk, 0},
      {kJobBadOutputName, 2},
      {kJobBadOptions, 3},
      {kJobInputError, 4},
      {kJobRunFailed, 5},
      {kJobNoFrameCount, 6},
      {kJobStreamFailed, 7},
      {kJobUnexpected, 9},
      {kJobRomFailed, 10},
      {kJobStreamOpenFailed, 11},
      {kJobStreamSizeFailed, 12},
      {kJobStreamReadFailed, 13},
      {1, kExitUnknownResult},
      {-4, kExitUnknownResult},
      {1004, kExitUnknownResult},
  };
  std::set<int> failures;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    EXPECT_EQ(exitCodeForResult(c.result, false), c.exitCode);
    if (c.result != kJobOk && c.exitCode != kExitUnknownResult) {
      EXPECT_TRUE(failures.insert(c.exitCode).second) << "shared exit status";
      EXPECT_NE(describeResult(c.result), describeResult(-1)) << "a known result needs its own text";
    }
  }
  // None of the job's statuses collides with the command line's own.
  for (int own : {kExitOk, kExitUsage, kExitNotReplaced, kExitUnknownResult, kExitCancelled}) {
    EXPECT_EQ(failures.count(own), 0u) << own;
  }
}

TEST(ExitCodes, ACancelledJobIsCancelledWhateverItsCode) {
  EXPECT_EQ(exitCodeForResult(kJobRunFailed, true), kExitCancelled);
  EXPECT_EQ(exitCodeForResult(kJobRomFailed, true), kExitCancelled);
  EXPECT_EQ(kExitCancelled, 130);
}

}  // namespace
}  // namespace zepra::cli
