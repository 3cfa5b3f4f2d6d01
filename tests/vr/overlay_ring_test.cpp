// The texture ring: what is uploaded, when it is handed to the runtime, and
// that the texture on screen is never written.
#include <random>
#include <vector>

#include "vr/overlay/overlay_record.h"
#include "vr_sim_fixture.h"

namespace {

using vr_sim::SimCall;

constexpr uint32_t kW = 16, kH = 8;
const char kKey[] = "quorix.test.ring";

std::vector<uint8_t> Picture(uint8_t fill) { return std::vector<uint8_t>(kW * kH * 4, fill); }

void SetPixel(std::vector<uint8_t>& picture, uint32_t x, uint32_t y, uint8_t value) {
  for (int i = 0; i < 4; ++i) picture[(y * kW + x) * 4 + i] = value;
}

class OverlayRingTest : public quorix_test::VrSimTest, public ::testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    sim_.SetFenceLatency(GetParam());
    ASSERT_TRUE(CreateVrOverlay(record_, kKey, "Ring", device_, kW, kH, 0.1f, 1));
    sim_.ResetCallCounts();
  }
  bool Store(std::vector<uint8_t> picture, ContentKey key = {}) {
    return OverlaySurface::StoreIfChanged(record_.ring, std::move(picture), key);
  }
  // Publishes until the upload in flight reaches the runtime; the number of publishes.
  int PublishUntilShown() {
    int publishes = 0;
    do {
      EXPECT_TRUE(record_.PublishTextureCached());
      ++publishes;
    } while (record_.ring.upload_pending && publishes < 10);
    return publishes;
  }
  uint32_t polls() const { return std::max<uint32_t>(GetParam(), 1); }

  OverlayRecord record_;
};

TEST_P(OverlayRingTest, FirstStoreUploadsTheWholePictureAndShowsItAfterTheFence) {
  ASSERT_TRUE(Store(Picture(7)));
  ASSERT_TRUE(record_.PublishTextureCached());
  EXPECT_EQ(record_.ring.uploaded_pixels, kW * kH);
  EXPECT_TRUE(sim_.ShownPixels(kKey).empty());
  EXPECT_EQ(PublishUntilShown(), static_cast<int>(polls()));
  EXPECT_EQ(sim_.ShownPixels(kKey), Picture(7));
  EXPECT_EQ(record_.ring.publishes, 1u);
}

TEST_P(OverlayRingTest, OnlyTheChangedRectangleIsUploaded) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, uint32_t>> pixels;
    uint64_t area;
  };
  const Case cases[] = {
      {"one pixel", {{5, 3}}, 1},
      {"two corners", {{0, 0}, {kW - 1, kH - 1}}, kW * kH},
      {"a row span", {{2, 4}, {9, 4}}, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> base = Picture(static_cast<uint8_t>(&c - cases));
    ASSERT_TRUE(Store(base));
    ASSERT_TRUE(record_.PublishTextureCached());
    PublishUntilShown();
    const uint64_t before = record_.ring.uploaded_pixels;
    for (auto [x, y] : c.pixels) SetPixel(base, x, y, 200);
    ASSERT_TRUE(Store(base));
    ASSERT_TRUE(record_.PublishTextureCached());
    EXPECT_EQ(record_.ring.uploaded_pixels - before, c.area);
    PublishUntilShown();
    EXPECT_EQ(sim_.ShownPixels(kKey), base);
  }
}

TEST_P(OverlayRingTest, NewKeyOnSamePixelsRepublishesWithoutUpload) {
  ASSERT_TRUE(Store(Picture(1), {1, 0, 0}));
  record_.PublishTextureCached();
  PublishUntilShown();
  const uint64_t uploads = record_.ring.uploads;
  ASSERT_TRUE(Store(Picture(1), {2, 0, 0}));
  ASSERT_TRUE(record_.PublishTextureCached());
  EXPECT_EQ(record_.ring.uploads, uploads);
  EXPECT_EQ(record_.published_key, (ContentKey{2, 0, 0}));
  EXPECT_EQ(record_.ring.publishes, 2u);
}

TEST_P(OverlayRingTest, TwoStoresBeforeTheFenceUploadOnlyTheSecond) {
  ASSERT_TRUE(Store(Picture(1)));
  ASSERT_TRUE(record_.PublishTextureCached());  // upload of picture 1 in flight
  ASSERT_TRUE(Store(Picture(2)));
  ASSERT_TRUE(Store(Picture(3)));
  PublishUntilShown();  // picture 1 shown, picture 3 uploaded in the same call
  PublishUntilShown();
  EXPECT_EQ(record_.ring.uploads, 2u);
  EXPECT_EQ(sim_.ShownPixels(kKey), Picture(3));
}

TEST_P(OverlayRingTest, FailuresAreSticky) {
  struct Case {
    const char* name;
    std::function<void(vr_sim::SimRuntime&)> inject;
  };
  const Case cases[] = {
      {"fence error", [](vr_sim::SimRuntime& sim) { sim.SetFenceError(true); }},
      {"publisher refuses", [](vr_sim::SimRuntime& sim) { sim.FailCall(SimCall::kSetTexture, 9, 1); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OverlayRecord record;
    ASSERT_TRUE(CreateVrOverlay(record, "quorix.test.fail", "F", device_, kW, kH, 0.1f, 1));
    ASSERT_TRUE(OverlaySurface::StoreIfChanged(record.ring, Picture(1), {}));
    ASSERT_TRUE(record.PublishTextureCached());
    c.inject(sim_);
    bool failed = false;
    for (int i = 0; i < 4 && !failed; ++i) failed = !record.PublishTextureCached();
    EXPECT_TRUE(failed);
    sim_.SetFenceError(false);
    EXPECT_FALSE(OverlaySurface::StoreIfChanged(record.ring, Picture(2), {}));
    EXPECT_FALSE(record.PublishTextureCached());
  }
}

TEST_P(OverlayRingTest, WrongSizeIsRefusedAndLeavesThePictureAlone) {
  ASSERT_TRUE(Store(Picture(4)));
  EXPECT_FALSE(Store(std::vector<uint8_t>(kW * kH * 4 - 4, 9)));
  EXPECT_EQ(record_.ring.pixels, Picture(4));
}

TEST_P(OverlayRingTest, RandomSequencesShowWhatWasStoredAndNeverWriteTheShownTexture) {
  // Pictures handed over, or kept by the caller and copied row by row.
  for (const bool in_place : {false, true}) {
    SCOPED_TRACE(in_place ? "in place" : "handed over");
    std::mt19937 random(GetParam() * 7919 + (in_place ? 2 : 1));
    for (int sequence = 0; sequence < 200; ++sequence) {
      std::vector<uint8_t> picture = Picture(0);
      std::vector<uint8_t> last_published;
      for (int step = 0; step < 12; ++step) {
        if (random() % 3 != 0) {
          for (uint32_t n = random() % 3; n > 0; --n) SetPixel(picture, random() % kW, random() % kH, random() % 4);
          const ContentKey key{random() % 2, 0, 0};
          ASSERT_TRUE(in_place ? OverlaySurface::StoreInPlace(record_.ring, picture, key) : Store(picture, key));
        }
        ASSERT_TRUE(record_.PublishTextureCached());
        if (record_.ring.has_published) last_published = record_.ring.published_pixels;
      }
      ASSERT_EQ(sim_.held_texture_writes(), 0u);
      if (!last_published.empty()) {
        ASSERT_EQ(sim_.ShownPixels(kKey), last_published);
      }
      // Settled, the last picture stored is the one on screen.
      for (int i = 0; i < 6; ++i) ASSERT_TRUE(record_.PublishTextureCached());
      ASSERT_EQ(sim_.ShownPixels(kKey), picture);
      ASSERT_EQ(record_.ring.published_pixels, picture);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FenceLatency, OverlayRingTest, ::testing::Values(1u, 2u));

}  // namespace
