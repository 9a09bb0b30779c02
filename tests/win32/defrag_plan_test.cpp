// Where Tools\Defrag.exe puts a file's clusters.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/win32/DefragPlan.h"
#include "platform/win32/WinApi.h"

namespace qv {
namespace {

using Moves = std::vector<ClusterMove>;

// Every allocated cluster of the file is moved exactly once, into free clusters only, no two
// moves onto the same cluster; returns the number of pieces the file is in afterwards.
size_t CheckMoves(const std::vector<Extent>& extents, const std::vector<ClusterRun>& free,
                  const Moves& moves) {
  std::vector<std::pair<int64_t, int64_t>> vcnToLcn;
  int64_t vcn = 0;
  for (const Extent& e : extents) {
    if (e.Lcn >= 0)
      for (int64_t v = vcn; v < e.NextVcn; ++v) vcnToLcn.push_back({v, -1});
    vcn = e.NextVcn;
  }
  std::vector<int64_t> targets;
  for (const ClusterMove& m : moves)
    for (int64_t k = 0; k < m.count; ++k) {
      const int64_t lcn = m.lcn + k;
      bool isFree = false;
      for (const ClusterRun& r : free) isFree = isFree || (lcn >= r.lcn && lcn < r.lcn + r.length);
      EXPECT_TRUE(isFree) << "cluster " << lcn << " is in use";
      EXPECT_EQ(std::count(targets.begin(), targets.end(), lcn), 0) << lcn;
      targets.push_back(lcn);
      bool found = false;
      for (auto& [v, l] : vcnToLcn)
        if (v == m.vcn + k) {
          EXPECT_EQ(l, -1) << "VCN " << v << " moved twice";
          l = lcn;
          found = true;
        }
      EXPECT_TRUE(found) << "VCN " << m.vcn + k << " is no allocated cluster of the file";
    }
  size_t pieces = 0;
  for (size_t k = 0; k < vcnToLcn.size(); ++k) {
    EXPECT_NE(vcnToLcn[k].second, -1) << "VCN " << vcnToLcn[k].first << " not moved";
    if (k == 0 || vcnToLcn[k].second != vcnToLcn[k - 1].second + 1) ++pieces;
  }
  return pieces;
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
  const Moves moves = PlanDefrag(0, file, free);
  EXPECT_EQ(moves, (Moves{{0, 300, 3}, {5, 303, 4}, {9, 307, 3}}));
  EXPECT_EQ(CheckMoves(file, free, moves), 1u);
}

TEST(DefragPlanTest, PiecesIntoTheLargestRunsFirstOnlyWhenThatGainsSomething) {
  // 20 clusters in five pieces; no run holds 20.
  const std::vector<Extent> file{{4, 10}, {8, 30}, {12, 50}, {16, 70}, {20, 90}};
  const std::vector<ClusterRun> free{{200, 3}, {300, 12}, {400, 9}, {500, 5}};
  const Moves moves = PlanDefrag(0, file, free);
  EXPECT_EQ(CheckMoves(file, free, moves), 2u);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves.front(), (ClusterMove{0, 300, 4}));
  // Five runs of four for five pieces: nothing gained. Too little room at all: nothing either.
  EXPECT_EQ(PlanDefrag(0, file, {{200, 4}, {300, 4}, {400, 4}, {500, 4}, {600, 4}}), Moves{});
  EXPECT_EQ(PlanDefrag(0, file, {{200, 19}}), Moves{});
  // Extents out of order are no plan at all.
  EXPECT_EQ(PlanDefrag(0, {{4, 10}, {4, 30}}, free), Moves{});
}

}  // namespace
}  // namespace qv
