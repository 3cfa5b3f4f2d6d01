#pragma once
// One runtime overlay fed from a CPU pixel buffer: the record, the surface
// that decides whether new pixels differ from the last ones, and the
// two-texture ring that uploads only the changed rectangle and hands a
// finished texture to the runtime.
//
// The ring alternates idle → upload pending → published. An upload is handed
// to the runtime only once its fence reports it done, one publish later at the
// earliest, so the texture the runtime shows is never written. Any runtime or
// GPU error makes the ring failed for good: every later store and publish is
// refused until the record is destroyed. Main thread only.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/vr/vr_runtime.h"

// Three values chosen by the caller that name a picture's content, so that
// the picture on screen can be re-published under a new key without an upload.
using ContentKey = std::array<uint64_t, 3>;

// Hands a finished texture to the runtime; true when it was accepted.
using TexturePublisher = std::function<bool(uint64_t texture, const ContentKey& key)>;

class OverlayTextureRing {
 public:
  OverlayTextureRing() = default;
  ~OverlayTextureRing();
  OverlayTextureRing(const OverlayTextureRing&) = delete;
  OverlayTextureRing& operator=(const OverlayTextureRing&) = delete;

  // Keeps the device, stores the size, creates the two textures and the
  // fence. Refuses a null device, a zero size or a ring that has a size.
  bool Create(const std::shared_ptr<platform::vr::GpuDevice>& device, uint32_t width, uint32_t height);
  // Publishes a finished upload, or starts the upload of what changed.
  bool Publish(const TexturePublisher& publisher);

  std::shared_ptr<platform::vr::GpuDevice> device;
  std::array<uint64_t, 2> textures{};
  uint64_t fence = 0;
  std::vector<uint8_t> published_pixels;
  std::vector<uint8_t> pending_pixels;
  std::vector<uint8_t> pixels;
  uint32_t width = 0, height = 0;
  uint32_t front = 0, back = 1;
  bool has_published = false;
  bool upload_pending = false;
  bool failed = false;
  uint64_t textures_created = 0;
  uint64_t uploads = 0;
  uint64_t publishes = 0;
  uint64_t uploaded_pixels = 0;
  uint64_t skipped_stores = 0;
  uint64_t evaluations = 0;
  uint64_t stores = 0;
  uint64_t evaluated_stores = 0;
  uint64_t submissions = 0;
  ContentKey current_key{}, pending_key{}, published_key{};
  // Rows [changed_y0, changed_y1) hold every row in which the current pixels
  // may differ from the picture of the last upload: only these are compared.
  uint32_t changed_y0 = 0, changed_y1 = 0;
  // The last upload's rectangle: the only place in which the back texture
  // and the pending pixels, both left over from the upload before it, differ
  // from the front texture and the published pixels.
  platform::vr::Box last_upload;

  // Widens the changed rows by [y0, y1).
  void NoteChangedRows(uint32_t y0, uint32_t y1);

 private:
  bool Fail();
  void ReleaseAll();
  // Makes the pending pixels a copy of the current ones, copying only the
  // rows that can differ once a picture has been published.
  void CopyPending(const platform::vr::Box& upload);
};

// The CPU side of a ring.
struct OverlaySurface {
  // Refused (false) when the ring failed or the buffer is not width × height
  // × 4 bytes; the surface is then untouched. Same pixels and key: a skipped
  // store. Otherwise the pixels and key become current. `pixels` hands back
  // a buffer the caller may reuse (the one replaced, or its own when skipped).
  static bool StoreIfChanged(OverlayTextureRing& ring, std::vector<uint8_t>&& pixels, const ContentKey& key);
  // The same for a picture the caller keeps: compared row by row with the
  // current pixels, and only the rows that differ are copied.
  static bool StoreInPlace(OverlayTextureRing& ring, std::span<const uint8_t> pixels, const ContentKey& key);
  // Counts a submission, then StoreIfChanged.
  static bool Submit(OverlayTextureRing& ring, std::vector<uint8_t>&& pixels, const ContentKey& key);
};

// The browser panels' textures are this many rows high.
constexpr uint32_t kPanelTextureRows = 1048;

class OverlayRecord {
 public:
  OverlayRecord() = default;
  virtual ~OverlayRecord();
  // Never moves: the frame and the browser feature keep pointers to records.
  OverlayRecord(const OverlayRecord&) = delete;
  OverlayRecord& operator=(const OverlayRecord&) = delete;

  // Nothing happens when placed and no value moved by 0.0001 or more, and a
  // matrix with a non-finite value is refused (it would compare unequal to
  // everything and pin the overlay for the session). Otherwise the matrix is
  // cached and sent; the runtime's answer is not looked at.
  void SetTransform(const platform::vr::Matrix34& matrix);
  // False for a non-finite or non-positive width, or when the runtime refuses.
  bool SetWidth(float metres);
  // Shown when wanted and the record has content; the runtime is told only
  // on a change, and a refusal is retried on the next call.
  void SetVisible(bool wanted);
  // Panel records: shows rows 1..1048 of the texture.
  bool SetVisibleRows(uint32_t rows);
  // The held result for owner-managed records, else publishes to the runtime.
  bool PublishTextureCached();
  // Publishes to nothing (every texture accepted), counting the request.
  bool PublishTexture();

  uint64_t handle = 0;
  OverlayTextureRing ring;
  bool shown = false;
  bool result_held = false;
  bool held_result = false;
  std::shared_ptr<platform::vr::GpuDevice> context;
  uint32_t pixel_width = 0, pixel_height = 0;
  float width = 0.0f;
  uint64_t visibility_changes = 0;
  ContentKey published_key{};
  std::vector<uint8_t> shown_pixels;
  platform::vr::Matrix34 transform{};
  bool placed = false;
  uint64_t transform_updates = 0;
  uint32_t visible_rows = 0;
  uint64_t publish_requests = 0;
};

// A browser panel's record, with the panel's name.
struct PanelOverlayRecord final : OverlayRecord {
  std::string name;
};
std::unique_ptr<PanelOverlayRecord> MakePanelOverlayRecord(std::string name);

// Hands a texture to the runtime for one record as a GPU texture in gamma
// colour space; on success the key becomes the record's published key.
struct OverlayTexturePublisher {
  OverlayRecord* record;
  bool operator()(uint64_t texture, const ContentKey& key) const;
};

// Creates the overlay under `key` and `name` with its texture ring, then sets
// width, sort order, mouse scale, input method none and our flag (answers not
// looked at). False when the overlay or the ring cannot be created.
bool CreateVrOverlay(OverlayRecord& record, const std::string& key, const std::string& name,
                     const std::shared_ptr<platform::vr::GpuDevice>& device, uint32_t pixel_width,
                     uint32_t pixel_height, float width_m, uint32_t sort_order);

// The colour and count of the laser images built.
struct LaserImageState {
  bool valid = false;
  bool blue = false;
  uint64_t builds = 0;
};

// Builds the laser image for the colour and stores it with an all-zero key.
bool SetLaserImage(OverlayRecord& laser, bool blue, LaserImageState& state);

bool IsFiniteMatrix(const platform::vr::Matrix34& matrix);
