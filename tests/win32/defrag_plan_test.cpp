// Where Tools\Defrag.exe puts a file's clusters.
#include <gtest/gtest.h>

#include <vector>

#include "platform/win32/DefragPlan.h"
#include "platform/win32/WinApi.h"

namespace qv {
namespace {

using Moves = std::vector<ClusterMove>;

// The program stops its whole run, saying that administrator rights are needed, on 127 alone.
TEST(DefragPlanTest, OnlyMissingRightsEndWithTheCodeThatStopsTheRun) {
  EXPECT_EQ(DefragExitFor(ERROR_ACCESS_DENIED), 127);
  EXPECT_EQ(DefragExitFor(ERROR_PRIVILEGE_NOT_HELD), 127);
  EXPECT_EQ(DefragExitFor(ERROR_NOT_SUPPORTED), kDefragNotSupported);
  EXPECT_EQ(DefragExitFor(ERROR_SHARING_VIOLATION), kDefragFailed);
}

TEST(DefragPlanTest, AFileTogetherAlreadyStays) {
  const std::vector<ClusterRun> free{{1000, 500}};
  EXPECT_EQ(PlanDefrag(0, {}, free), Moves{});
  EXPECT_EQ(PlanDefrag(0, {{8, 40}}, free), Moves{});
  // Clusters that follow each other across a hole of a sparse file.
  EXPECT_EQ(PlanDefrag(0, {{4, 40}, {10, -1}, {12, 44}}, free), Moves{});
}

TEST(DefragPlanTest, AllIntoTheLargestRunThatHoldsIt) {
  // 10 clusters in three pieces with a hole; runs of 10, 30 and 12 all hold it.
  const std::vector<Extent> file{{3, 500}, {5, -1}, {9, 200}, {12, 800}};
  const std::vector<ClusterRun> free{{100, 10}, {300, 30}, {600, 12}};
  EXPECT_EQ(PlanDefrag(0, file, free), (Moves{{0, 300, 3}, {5, 303, 4}, {9, 307, 3}}));
}

TEST(DefragPlanTest, PiecesIntoTheLargestRunsFirstOnlyWhenThatGainsSomething) {
  // 20 clusters in five pieces; no run holds 20: 12 go to the largest run, 8 to the next.
  const std::vector<Extent> file{{4, 10}, {8, 30}, {12, 50}, {16, 70}, {20, 90}};
  const std::vector<ClusterRun> free{{200, 3}, {300, 12}, {400, 9}, {500, 5}};
  EXPECT_EQ(PlanDefrag(0, file, free),
            (Moves{{0, 300, 4}, {4, 304, 4}, {8, 308, 4}, {12, 400, 4}, {16, 404, 4}}));
  // A piece that does not fit the rest of a run is split.
  EXPECT_EQ(PlanDefrag(0, {{4, 10}, {8, 30}, {10, 50}}, {{100, 7}, {200, 3}}),
            (Moves{{0, 100, 4}, {4, 104, 3}, {7, 200, 1}, {8, 201, 2}}));
  // Five runs of four for five pieces: nothing gained. Too little room at all: nothing either.
  EXPECT_EQ(PlanDefrag(0, file, {{200, 4}, {300, 4}, {400, 4}, {500, 4}, {600, 4}}), Moves{});
  EXPECT_EQ(PlanDefrag(0, file, {{200, 19}}), Moves{});
  // Extents out of order are no plan at all.
  EXPECT_EQ(PlanDefrag(0, {{4, 10}, {4, 30}}, free), Moves{});
}

}  // namespace
}  // namespace qv
