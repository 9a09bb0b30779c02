// The volume reads' answers as Windows lays them out, recorded byte for byte: what is read from
// them, and what is refused.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/win32/DefragPlan.h"
#include "platform/win32/VolumeAnswers.h"
#include "platform/win32/WinApi.h"

namespace qv {
namespace {

void Put64(std::vector<uint8_t>& b, size_t at, int64_t v) {
  std::memcpy(b.data() + at, &v, sizeof v);
}

// A VOLUME_BITMAP_BUFFER from `start` of a volume of `total` clusters where `used` says which
// are in use, as a 4112-byte reply buffer comes back: full for a piece with more to come,
// header and used bytes for the last.
ControlAnswer BitmapPiece(std::vector<uint8_t>& b, int64_t start, int64_t total,
                          bool (*used)(int64_t)) {
  const int64_t clusters = std::min<int64_t>(total - start, kBitmapChunkClusters);
  b.assign(kBitmapAnswerBytes, 0);
  Put64(b, 0, start);
  Put64(b, 8, total - start);
  for (int64_t j = 0; j < clusters; ++j)
    if (used(start + j)) b[16 + j / 8] |= static_cast<uint8_t>(1u << (j % 8));
  const bool more = start + clusters < total;
  return {b.data(), more ? b.size() : 16 + static_cast<size_t>((clusters + 7) / 8),
          more ? kVolumeMoreData : kVolumeOk};
}

bool Used70000(int64_t c) {
  // Used at the start, across the first boundary; free across the second and to the end.
  return c < 100 || (c >= 32760 && c < 32776) || (c >= 40000 && c < 65530) ||
         (c >= 65546 && c < 69990);
}

TEST(VolumeAnswersTest, BitmapOfSeventyThousandClustersInThreePieces) {
  std::vector<uint8_t> b;
  VolumeBitmap piece;
  FreeRunCollector runs;
  const uint32_t expected[] = {kVolumeMoreData, kVolumeMoreData, kVolumeOk};
  for (int k = 0; k < 3; ++k) {
    const int64_t start = k * int64_t{kBitmapChunkClusters};
    const Result<uint32_t> read =
        ReadBitmapAnswer(start, BitmapPiece(b, start, 70000, Used70000), &piece);
    ASSERT_TRUE(read) << read.message();
    EXPECT_EQ(*read, expected[k]);
    EXPECT_EQ(piece.StartingLcn, start);
    EXPECT_EQ(piece.BitmapSize, 70000 - start);
    ASSERT_TRUE(runs.Add(piece));
  }
  EXPECT_EQ(runs.Finish(), (std::vector<ClusterRun>{
                               {100, 32660}, {32776, 40000 - 32776}, {65530, 16}, {69990, 10}}));
  // A piece out of order is not taken as the next one.
  FreeRunCollector again;
  EXPECT_FALSE(again.Add(piece));
}

TEST(VolumeAnswersTest, BitmapAnswersThatCannotBeBelievedAreRefused) {
  std::vector<uint8_t> b;
  VolumeBitmap piece;
  auto refused = [&](int64_t asked, ControlAnswer a) {
    piece.BitmapSize = 99;
    const Result<uint32_t> read = ReadBitmapAnswer(asked, a, &piece);
    EXPECT_EQ(piece.BitmapSize, 0);  // nothing of it is left for a caller that scans anyway
    return !read && !read.message().empty();
  };
  ControlAnswer a = BitmapPiece(b, 0, 70000, Used70000);
  EXPECT_TRUE(refused(0, {a.bytes, 12, a.error}));          // no whole header
  EXPECT_TRUE(refused(32768, a));                           // another piece
  EXPECT_TRUE(refused(0, {a.bytes, a.size - 1, a.error}));  // a short bitmap
  EXPECT_TRUE(refused(0, {a.bytes, a.size, kVolumeOk}));    // ends where it goes on
  a = BitmapPiece(b, 65536, 70000, Used70000);
  EXPECT_TRUE(refused(65536, {a.bytes, a.size, kVolumeMoreData}));  // goes on where it ends
  EXPECT_TRUE(refused(65536, {a.bytes, a.size - 1, kVolumeOk}));
  Put64(b, 8, 0);
  EXPECT_TRUE(refused(65536, a));  // no clusters at all
  EXPECT_TRUE(refused(0, {nullptr, 0, ERROR_INVALID_FUNCTION}));
  EXPECT_NE(ReadBitmapAnswer(0, {nullptr, 0, ERROR_NOT_SUPPORTED}, &piece).message(), "");
}

// A RETRIEVAL_POINTERS_BUFFER: count, 4 bytes of alignment, the starting VCN, the extents.
ControlAnswer ExtentsPiece(std::vector<uint8_t>& b, int64_t startVcn,
                           const std::vector<Extent>& extents, uint32_t error) {
  b.assign(kExtentsAnswerBytes, 0xCC);
  const uint32_t count = static_cast<uint32_t>(extents.size());
  std::memcpy(b.data(), &count, 4);
  Put64(b, 8, startVcn);
  for (size_t k = 0; k < extents.size(); ++k) {
    Put64(b, 16 + 16 * k, extents[k].NextVcn);
    Put64(b, 24 + 16 * k, extents[k].Lcn);
  }
  return {b.data(), error == kVolumeMoreData ? b.size() : 16 + 16 * extents.size(), error};
}

TEST(VolumeAnswersTest, ThirteenHundredExtentsInThreePiecesWithAHole) {
  // Extent k covers VCN 2k..2k+2 at LCN 1000 + 7k; extent 700 is a hole (sparse, compressed).
  std::vector<Extent> all;
  for (int64_t k = 0; k < 1300; ++k) all.push_back({2 * k + 2, k == 700 ? -1 : 1000 + 7 * k});
  std::vector<uint8_t> b;
  RetrievalPointers reply;
  std::vector<Extent> read;
  int64_t vcn = 0;
  for (int piece = 0;; ++piece) {
    ASSERT_LT(piece, 3);
    const size_t from = read.size(), to = std::min<size_t>(from + kExtentsPerRead, all.size());
    const uint32_t error = to < all.size() ? kVolumeMoreData : kVolumeOk;
    const Result<uint32_t> got = ReadExtentsAnswer(
        vcn, ExtentsPiece(b, vcn, {all.begin() + from, all.begin() + to}, error), &reply);
    ASSERT_TRUE(got) << got.message();
    EXPECT_EQ(reply.StartingVcn, vcn);
    read.insert(read.end(), reply.Extents, reply.Extents + reply.ExtentCount);
    if (*got != kVolumeMoreData) break;
    vcn = reply.Extents[reply.ExtentCount - 1].NextVcn;
  }
  ASSERT_EQ(read.size(), 1300u);
  for (size_t k = 0; k < read.size(); ++k) {
    EXPECT_EQ(read[k].NextVcn, all[k].NextVcn);
    EXPECT_EQ(read[k].Lcn, all[k].Lcn);
  }
  // A file without clusters from there on (empty, or kept in the file system's own tables).
  const Result<uint32_t> end = ReadExtentsAnswer(0, {nullptr, 0, ERROR_HANDLE_EOF}, &reply);
  ASSERT_TRUE(end);
  EXPECT_EQ(*end, kVolumeOk);
  EXPECT_EQ(reply.ExtentCount, 0u);
}

TEST(VolumeAnswersTest, ExtentAnswersThatCannotBeBelievedAreRefused) {
  std::vector<uint8_t> b;
  RetrievalPointers reply;
  auto refused = [&](int64_t asked, ControlAnswer a) {
    reply.ExtentCount = 7;
    const Result<uint32_t> read = ReadExtentsAnswer(asked, a, &reply);
    EXPECT_EQ(reply.ExtentCount, 0u);
    return !read && !read.message().empty();
  };
  ControlAnswer a = ExtentsPiece(b, 0, {{4, 10}, {9, 50}}, kVolumeOk);
  EXPECT_TRUE(refused(0, {a.bytes, 15, kVolumeOk}));          // no whole header
  EXPECT_TRUE(refused(0, {a.bytes, a.size - 8, kVolumeOk}));  // fewer extents than counted
  EXPECT_TRUE(refused(9, a));                                 // none holds the cluster asked for
  EXPECT_TRUE(refused(0, ExtentsPiece(b, 2, {{4, 10}}, kVolumeOk)));  // starts past it
  EXPECT_TRUE(refused(0, ExtentsPiece(b, 1, {{0, 0}}, kVolumeOk)));   // Wine's stand-in answer
  EXPECT_TRUE(refused(0, ExtentsPiece(b, 0, {{4, 10}, {4, 50}}, kVolumeOk)));  // out of order
  EXPECT_TRUE(refused(0, ExtentsPiece(b, 0, {{4, -2}}, kVolumeOk)));
  EXPECT_TRUE(refused(0, ExtentsPiece(b, 0, {}, kVolumeMoreData)));  // more of nothing, forever
  a = ExtentsPiece(b, 0, {{4, 10}}, kVolumeMoreData);
  const uint32_t tooMany = kExtentsPerRead + 1;
  std::memcpy(b.data(), &tooMany, 4);
  EXPECT_TRUE(refused(0, a));
  EXPECT_TRUE(refused(0, {nullptr, 0, ERROR_INVALID_FUNCTION}));
  // The extent asked from the middle of comes first.
  const Result<uint32_t> mid =
      ReadExtentsAnswer(6, ExtentsPiece(b, 4, {{9, 50}}, kVolumeOk), &reply);
  ASSERT_TRUE(mid) << mid.message();
  EXPECT_EQ(reply.StartingVcn, 4);
  EXPECT_EQ(reply.ExtentCount, 1u);
}

}  // namespace
}  // namespace qv
