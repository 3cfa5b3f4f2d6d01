// Overlay records: what reaches the runtime for placement, width, visibility
// and panel rows; the fixed pictures.
#include <cmath>
#include <limits>

#include "vr/overlay/overlay_images.h"
#include "vr/overlay/overlay_record.h"
#include "vr_sim_fixture.h"

namespace {

namespace pvr = platform::vr;
using vr_sim::SimCall;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const char kKey[] = "quorix.test.record";

pvr::Matrix34 Identity(float x = 0.0f) { return {{{1, 0, 0, x}, {0, 1, 0, 0}, {0, 0, 1, 0}}}; }

class OverlayRecordTest : public quorix_test::VrSimTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateVrOverlay(record_, kKey, "Record", device_, 540, kPanelTextureRows, 0.3f, 205));
    sim_.ResetCallCounts();
  }
  OverlayRecord record_;
};

TEST_F(OverlayRecordTest, CreationSetsEveryValue) {
  const vr_sim::OverlayView* view = sim_.FindOverlay(kKey);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->name, "Record");
  EXPECT_FLOAT_EQ(view->width_m, 0.3f);
  EXPECT_EQ(view->sort_order, 205u);
  EXPECT_FLOAT_EQ(view->mouse_height, 1048.0f);
  EXPECT_EQ(view->input_method, pvr::kInputMethodNone);
  EXPECT_EQ(view->flags, 1u << pvr::kOverlayFlagOurs);
  EXPECT_EQ(record_.ring.textures_created, 2u);
}

TEST_F(OverlayRecordTest, TransformIsSentOnlyWhenItMovesAndNeverWhenNotFinite) {
  struct Case {
    const char* name;
    pvr::Matrix34 matrix;
    uint64_t calls;  // total SetTransform calls after this step
  };
  pvr::Matrix34 nan_matrix = Identity(0.5f);
  nan_matrix[1][2] = kNaN;
  const Case cases[] = {
      {"NaN before placement", nan_matrix, 0},
      {"first placement", Identity(0.0f), 1},
      {"moved 0.00009", Identity(0.00009f), 1},
      {"moved 0.0001", Identity(0.0001f), 2},
      {"NaN when placed", nan_matrix, 2},
      {"infinity", Identity(std::numeric_limits<float>::infinity()), 2},
      {"finite after NaN still moves", Identity(0.5f), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    record_.SetTransform(c.matrix);
    EXPECT_EQ(sim_.CallCount(SimCall::kSetTransform), c.calls);
    EXPECT_EQ(record_.transform_updates, c.calls);
  }
  EXPECT_EQ(sim_.FindOverlay(kKey)->transform, Identity(0.5f));
  EXPECT_EQ(sim_.FindOverlay(kKey)->origin, pvr::kOriginStanding);
}

TEST_F(OverlayRecordTest, WidthChanges) {
  EXPECT_TRUE(record_.SetWidth(0.300005f));
  EXPECT_EQ(sim_.CallCount(SimCall::kSetWidth), 0u);
  EXPECT_FALSE(record_.SetWidth(kNaN));
  EXPECT_FALSE(record_.SetWidth(0.0f));
  sim_.FailCall(SimCall::kSetWidth, 5, 1);
  EXPECT_FALSE(record_.SetWidth(0.5f));
  EXPECT_FLOAT_EQ(record_.width, 0.3f);
  EXPECT_TRUE(record_.SetWidth(0.5f));
  EXPECT_FLOAT_EQ(sim_.FindOverlay(kKey)->width_m, 0.5f);
}

TEST_F(OverlayRecordTest, VisibilityNeedsContentAndRetriesAfterARefusal) {
  record_.SetVisible(true);
  EXPECT_EQ(sim_.CallCount(SimCall::kShow), 0u);  // nothing published yet
  record_.result_held = true;
  record_.held_result = true;
  sim_.FailCall(SimCall::kShow, 3, 1);
  record_.SetVisible(true);
  EXPECT_FALSE(record_.shown);
  record_.SetVisible(true);
  EXPECT_TRUE(record_.shown);
  EXPECT_TRUE(sim_.FindOverlay(kKey)->shown);
  record_.SetVisible(true);
  EXPECT_EQ(sim_.CallCount(SimCall::kShow), 2u);
  EXPECT_EQ(record_.visibility_changes, 1u);
}

TEST_F(OverlayRecordTest, VisibleRows) {
  EXPECT_FALSE(record_.SetVisibleRows(0));
  EXPECT_FALSE(record_.SetVisibleRows(1049));
  ASSERT_TRUE(record_.SetVisibleRows(1048));
  EXPECT_FLOAT_EQ(sim_.FindOverlay(kKey)->bounds.v_max, 1.0f);
  ASSERT_TRUE(record_.SetVisibleRows(524));
  EXPECT_FLOAT_EQ(sim_.FindOverlay(kKey)->bounds.v_max, 0.5f);
  sim_.FailCall(SimCall::kSetTextureBounds, 4, 1);
  EXPECT_FALSE(record_.SetVisibleRows(100));
  EXPECT_FLOAT_EQ(sim_.FindOverlay(kKey)->mouse_height, 524.0f);  // put back
  EXPECT_EQ(record_.visible_rows, 524u);
}

TEST_F(OverlayRecordTest, DestructionRemovesTheOverlayAndReleasesTextures) {
  {
    OverlayRecord other;
    ASSERT_TRUE(CreateVrOverlay(other, "quorix.test.other", "O", device_, 4, 4, 0.1f, 1));
    EXPECT_EQ(sim_.overlay_count(), 2u);
  }
  EXPECT_EQ(sim_.overlay_count(), 1u);
  EXPECT_EQ(sim_.live_textures(), 2u);
}

TEST(OverlayImagesTest, PixelsAtKnownPoints) {
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    uint32_t width, x, y;
    std::array<uint8_t, 4> rgba;
  };
  const Case cases[] = {
      {"red dot centre", MakePointerDotImage(false), 128, 64, 64, {255, 32, 32, 255}},
      {"blue dot centre", MakePointerDotImage(true), 128, 64, 64, {32, 128, 255, 255}},
      {"blue dot rim", MakePointerDotImage(true), 128, 95, 64, {0, 0, 0, 255}},
      {"dot outside", MakePointerDotImage(false), 128, 64, 98, {255, 32, 32, 0}},
      {"laser top row", MakeLaserImage(true), 64, 10, 0, {32, 128, 255, 0}},
      {"laser second row", MakeLaserImage(false), 64, 63, 1, {255, 32, 32, 48}},
      {"laser middle", MakeLaserImage(false), 64, 0, 4, {255, 32, 32, 96}},
      {"ring on the circle", BuildWristRingImage(true), 128, 117, 64, {0, 0, 0, 255}},
      {"ring fading", BuildWristRingImage(false), 128, 119, 64, {255, 255, 255, 127}},
      {"ring centre", BuildWristRingImage(false), 128, 64, 64, {255, 255, 255, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.image.size() % (c.width * 4), 0u);
    const uint8_t* p = &c.image[(c.y * c.width + c.x) * 4];
    EXPECT_EQ((std::array<uint8_t, 4>{p[0], p[1], p[2], p[3]}), c.rgba);
  }
}

}  // namespace
