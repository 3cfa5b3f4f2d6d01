// Overlay records: what reaches the runtime for placement, width, visibility
// and panel rows.
#include <cmath>
#include <limits>

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
  record_.SetVisible(true);
  EXPECT_TRUE(record_.shown && sim_.FindOverlay(kKey)->shown);
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

}  // namespace
