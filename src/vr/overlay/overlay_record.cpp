#include "vr/overlay/overlay_record.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "vr/overlay/overlay_images.h"

namespace pvr = platform::vr;

namespace {

// Transforms closer than this in every value are the same placement.
constexpr float kTransformEpsilon = 0.0001f;
// Width changes below this are not sent.
constexpr float kWidthEpsilon = 1e-5f;

struct Rect {
  uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// The smallest rectangle holding every pixel that differs in rows [y0, y1),
// the only rows that can differ; rows are compared whole first, so unchanged
// rows cost one memcmp.
Rect DirtyRect(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t width, uint32_t height,
               uint32_t y0, uint32_t y1) {
  if (a.size() != b.size()) return {0, 0, width, height};
  Rect rect{width, height, 0, 0};
  const size_t row_bytes = size_t{width} * 4;
  for (uint32_t y = y0; y < std::min(y1, height); ++y) {
    const uint8_t* ra = a.data() + y * row_bytes;
    const uint8_t* rb = b.data() + y * row_bytes;
    if (std::memcmp(ra, rb, row_bytes) == 0) continue;
    uint32_t first = 0;
    while (std::memcmp(ra + first * 4, rb + first * 4, 4) == 0) ++first;
    uint32_t last = width - 1;
    while (std::memcmp(ra + last * 4, rb + last * 4, 4) == 0) --last;
    rect.x0 = std::min(rect.x0, first);
    rect.x1 = std::max(rect.x1, last + 1);
    rect.y0 = std::min(rect.y0, y);
    rect.y1 = y + 1;
  }
  return rect;
}

}  // namespace

// ---- ring ------------------------------------------------------------------

OverlayTextureRing::~OverlayTextureRing() { ReleaseAll(); }

void OverlayTextureRing::ReleaseAll() {
  if (!device) return;
  for (uint64_t& texture : textures) {
    if (texture != 0) device->ReleaseTexture(std::exchange(texture, 0));
  }
  if (fence != 0) device->ReleaseFence(std::exchange(fence, 0));
}

bool OverlayTextureRing::Fail() {
  failed = true;
  return false;
}

bool OverlayTextureRing::Create(const std::shared_ptr<pvr::GpuDevice>& gpu, uint32_t w, uint32_t h) {
  if (!gpu || w == 0 || h == 0 || width != 0 || height != 0) return false;
  device = gpu;
  width = w;
  height = h;
  for (uint64_t& texture : textures) {
    if (device->CreateTexture(w, h, &texture) != 0) return false;
    ++textures_created;
  }
  return device->CreateFence(&fence) == 0;
}

bool OverlayTextureRing::Publish(const TexturePublisher& publisher) {
  if (failed || !device) return false;
  if (upload_pending) {
    const pvr::FenceState state = device->QueryFence(fence);
    if (state == pvr::FenceState::kError) return Fail();
    if (state == pvr::FenceState::kDone) {
      if (!publisher(textures[back], pending_key)) return Fail();
      device->Flush();
      std::swap(front, back);
      published_pixels.swap(pending_pixels);
      ++publishes;
      published_key = pending_key;
      has_published = true;
      upload_pending = false;
    }
  }
  if (upload_pending) return true;
  if (stores == evaluated_stores) return true;
  ++evaluations;
  evaluated_stores = stores;
  // One comparison with the picture on screen, of the rows that can differ.
  const Rect rect = has_published ? DirtyRect(pixels, published_pixels, width, height, changed_y0, changed_y1)
                                  : Rect{0, 0, width, height};
  if (rect.empty()) {
    // The same pixels: at most a new key for the texture on screen.
    changed_y0 = changed_y1 = 0;
    if (current_key == published_key) return true;
    if (!publisher(textures[front], current_key)) return Fail();
    device->Flush();
    ++publishes;
    published_key = current_key;
    return true;
  }
  // The back texture starts from the picture on screen: it holds the one
  // before, which differs only in the last upload's rectangle.
  if (has_published && device->CopyTexture(textures[back], textures[front], last_upload) != 0) return Fail();
  const size_t row_bytes = size_t{width} * 4;
  const uint8_t* source = pixels.data() + rect.y0 * row_bytes + size_t{rect.x0} * 4;
  const pvr::Box upload{rect.x0, rect.y0, rect.x1, rect.y1};
  if (device->UpdateTexture(textures[back], upload, source, static_cast<uint32_t>(row_bytes)) != 0) {
    return Fail();
  }
  device->SignalFence(fence);
  device->Flush();
  CopyPending(upload);
  ++uploads;
  pending_key = current_key;
  upload_pending = true;
  uploaded_pixels += uint64_t{rect.x1 - rect.x0} * (rect.y1 - rect.y0);
  return true;
}

void OverlayTextureRing::NoteChangedRows(uint32_t y0, uint32_t y1) {
  if (y0 >= y1) return;
  if (changed_y0 >= changed_y1) {
    changed_y0 = y0;
    changed_y1 = y1;
  } else {
    changed_y0 = std::min(changed_y0, y0);
    changed_y1 = std::max(changed_y1, y1);
  }
}

void OverlayTextureRing::CopyPending(const pvr::Box& upload) {
  // Left over from the upload before the last, the pending pixels differ
  // from the published ones only in the last upload's rows, and the current
  // pixels from the published ones only in this upload's rows.
  if (pending_pixels.size() != pixels.size()) {
    pending_pixels = pixels;
  } else {
    const size_t row_bytes = size_t{width} * 4;
    const auto copy_rows = [&](const pvr::Box& box) {
      if (box.top >= box.bottom) return;
      std::memcpy(pending_pixels.data() + box.top * row_bytes, pixels.data() + box.top * row_bytes,
                  (box.bottom - box.top) * row_bytes);
    };
    copy_rows(last_upload);
    copy_rows(upload);
  }
  last_upload = upload;
  changed_y0 = changed_y1 = 0;
}

// ---- surface ---------------------------------------------------------------

bool OverlaySurface::StoreIfChanged(OverlayTextureRing& ring, std::vector<uint8_t>&& new_pixels,
                                    const ContentKey& key) {
  if (ring.failed || new_pixels.size() != size_t{ring.width} * ring.height * 4) {
    new_pixels.clear();
    return false;
  }
  if (key == ring.current_key && new_pixels == ring.pixels) {
    ++ring.skipped_stores;
    return true;
  }
  ring.pixels.swap(new_pixels);
  ring.NoteChangedRows(0, ring.height);
  ring.current_key = key;
  ++ring.stores;
  return true;
}

bool OverlaySurface::StoreInPlace(OverlayTextureRing& ring, std::span<const uint8_t> new_pixels,
                                  const ContentKey& key) {
  const size_t row_bytes = size_t{ring.width} * 4;
  if (ring.failed || new_pixels.size() != row_bytes * ring.height) return false;
  uint32_t y0 = ring.height, y1 = 0;
  if (ring.pixels.size() != new_pixels.size()) {
    ring.pixels.assign(new_pixels.begin(), new_pixels.end());
    y0 = 0;
    y1 = ring.height;
  } else {
    for (uint32_t y = 0; y < ring.height; ++y) {
      uint8_t* row = ring.pixels.data() + y * row_bytes;
      const uint8_t* source = new_pixels.data() + y * row_bytes;
      if (std::memcmp(row, source, row_bytes) == 0) continue;
      std::memcpy(row, source, row_bytes);
      y0 = std::min(y0, y);
      y1 = y + 1;
    }
  }
  if (y0 >= y1 && key == ring.current_key) {
    ++ring.skipped_stores;
    return true;
  }
  ring.NoteChangedRows(y0, y1);
  ring.current_key = key;
  ++ring.stores;
  return true;
}

bool OverlaySurface::Submit(OverlayTextureRing& ring, std::vector<uint8_t>&& new_pixels, const ContentKey& key) {
  ++ring.submissions;
  return StoreIfChanged(ring, std::move(new_pixels), key);
}

// ---- record ----------------------------------------------------------------

OverlayRecord::~OverlayRecord() {
  if (handle != 0) {
    // Nothing is left to do with an overlay the runtime failed to destroy.
    if (pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay()) (void)overlay->DestroyOverlay(handle);
  }
}

bool IsFiniteMatrix(const pvr::Matrix34& matrix) {
  for (const auto& row : matrix) {
    for (const float value : row) {
      if (!std::isfinite(value)) return false;
    }
  }
  return true;
}

void OverlayRecord::SetTransform(const pvr::Matrix34& matrix) {
  if (!IsFiniteMatrix(matrix)) return;
  if (placed) {
    bool moved = false;
    for (size_t r = 0; r < 3 && !moved; ++r) {
      for (size_t c = 0; c < 4 && !moved; ++c) moved = std::fabs(matrix[r][c] - transform[r][c]) >= kTransformEpsilon;
    }
    if (!moved) return;
  }
  transform = matrix;
  ++transform_updates;
  placed = true;
  if (pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay()) {
    // The cached matrix is sent again only when it changes; a refused one is not retried.
    (void)overlay->SetTransformAbsolute(handle, pvr::kOriginStanding, matrix);
  }
}

bool OverlayRecord::SetWidth(float metres) {
  if (!std::isfinite(metres) || metres <= 0.0f) return false;
  if (std::fabs(metres - width) < kWidthEpsilon) return true;
  if (handle != 0) {
    pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay();
    if (!overlay || overlay->SetWidthInMeters(handle, metres) != 0) return false;
  }
  width = metres;
  return true;
}

void OverlayRecord::SetVisible(bool wanted) {
  const bool has_content = result_held ? held_result : ring.has_published;
  const bool effective = wanted && has_content;
  if (effective == shown) return;
  pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay();
  if (!overlay) return;
  if ((effective ? overlay->Show(handle) : overlay->Hide(handle)) != 0) return;
  shown = effective;
  ++visibility_changes;
}

bool OverlayRecord::SetVisibleRows(uint32_t rows) {
  if (rows < 1 || rows > kPanelTextureRows || pixel_width == 0) return false;
  if (rows == visible_rows) return true;
  pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay();
  if (!overlay) return false;
  const float w = static_cast<float>(pixel_width);
  if (overlay->SetMouseScale(handle, w, static_cast<float>(rows)) != 0) return false;
  pvr::TextureBounds bounds;
  bounds.v_max = static_cast<float>(rows) / static_cast<float>(kPanelTextureRows);
  if (overlay->SetTextureBounds(handle, bounds) != 0) {
    (void)overlay->SetMouseScale(handle, w, static_cast<float>(visible_rows));  // best effort: already failing
    return false;
  }
  visible_rows = rows;
  return true;
}

bool OverlayRecord::PublishTextureCached() {
  if (result_held) return held_result;
  return ring.Publish(OverlayTexturePublisher{this});
}

bool OverlayRecord::PublishTexture() {
  ++publish_requests;
  return ring.Publish([](uint64_t, const ContentKey&) { return true; });
}

std::unique_ptr<PanelOverlayRecord> MakePanelOverlayRecord(std::string name) {
  auto record = std::make_unique<PanelOverlayRecord>();
  record->name = std::move(name);
  return record;
}

bool OverlayTexturePublisher::operator()(uint64_t texture, const ContentKey& key) const {
  pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay();
  if (!overlay) return false;
  const pvr::TextureRef ref{texture, pvr::kTextureTypeGpu, pvr::kColorSpaceGamma};
  if (overlay->SetTexture(record->handle, ref) != 0) return false;
  record->published_key = key;
  return true;
}

bool CreateVrOverlay(OverlayRecord& record, const std::string& key, const std::string& name,
                     const std::shared_ptr<pvr::GpuDevice>& device, uint32_t pixel_width, uint32_t pixel_height,
                     float width_m, uint32_t sort_order) {
  record.pixel_width = pixel_width;
  record.pixel_height = pixel_height;
  record.width = width_m;
  record.context = device;
  pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay();
  if (!overlay) return false;
  uint64_t handle = 0;
  if (overlay->CreateOverlay(key, name, &handle) != 0) return false;
  record.handle = handle;
  if (!record.ring.Create(device, pixel_width, pixel_height)) return false;
  // The overlay exists and has its texture ring: these settings are sent
  // once, and a refused one leaves a working overlay with the runtime's default.
  (void)overlay->SetWidthInMeters(handle, width_m);
  (void)overlay->SetSortOrder(handle, sort_order);
  (void)overlay->SetMouseScale(handle, static_cast<float>(pixel_width), static_cast<float>(pixel_height));
  (void)overlay->SetInputMethod(handle, pvr::kInputMethodNone);
  (void)overlay->SetFlag(handle, pvr::kOverlayFlagOurs, true);
  return true;
}

bool SetLaserImage(OverlayRecord& laser, bool blue, LaserImageState& state) {
  if (!OverlaySurface::StoreIfChanged(laser.ring, MakeLaserImage(blue), ContentKey{})) return false;
  ++state.builds;
  state.blue = blue;
  state.valid = true;
  return true;
}
