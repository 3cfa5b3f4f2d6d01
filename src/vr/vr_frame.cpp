// The VR frame: one call per pass of the main loop, in a fixed order of
// steps, each a private member of the session.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "core/entry.h"
#include "core/environment.h"
#include "core/event_log.h"
#include "platform/clock.h"
#include "vr/overlay/overlay_images.h"
#include "vr/vr_session.h"

namespace pvr = platform::vr;
using pvr::Matrix34;

namespace {

constexpr uint64_t kLivenessPeriodMs = 2000;
constexpr uint64_t kCalibrationMs = 3000;
constexpr uint64_t kLatencyCapMs = 600000;
constexpr float kNoticeStackStep = -0.155f;
constexpr float kPointerDotLift = 0.002f;
constexpr float kStripGap = 0.014f;
constexpr float kStripLift = 0.015f;
constexpr float kStripForward = 0.006f;
constexpr float kSwipeTapPixels = 32.0f;
constexpr uint8_t kPopupHitAlpha = 20;
constexpr uint32_t kFramePixelWidth = 540;
constexpr uint32_t kKeyboardPixelHeight = 508;
constexpr uint32_t kSourcePointer = 2;
constexpr uint32_t kPriorityPhone = 200;
constexpr uint32_t kPriorityKeyboard = 210;
constexpr uint32_t kPriorityPopup = 230;

// Pending press targets.
constexpr int32_t kPressPhone = 0;
constexpr int32_t kPressKeyboard = 1;

// The panels' engines measure no audio, so each reports this empty
// placeholder instead of a status read from it.
constexpr quorix_browser::normal::BrowserAudioStatus kPlaceholderAudioStatus{};

OverlayRecord& PopupRecord(VrSession& s, uint32_t slot) {
  return slot == 0 ? s.overlays[kNotificationsOverlay]
                   : slot == 4 ? s.overlays[kStatusOverlay] : s.messages[slot - 1];
}

bool PixelShown(const std::vector<uint8_t>& pixels, float x, float y) {
  if (!(x >= 0.0f) || !(y >= 0.0f)) return false;
  const size_t offset = (static_cast<size_t>(y) * kFramePixelWidth + static_cast<size_t>(x)) * 4 + 3;
  return static_cast<size_t>(x) < kFramePixelWidth && offset < pixels.size() && pixels[offset] >= kPopupHitAlpha;
}

Matrix34 MoveAlong(const Matrix34& t, const Vec3& local) {
  Matrix34 out = t;
  const Vec3 d = RotateVector(t, local);
  for (size_t r = 0; r < 3; ++r) out[r][3] += d[r];
  return out;
}

double ElapsedMs(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// Stores a frame into a surface without taking its buffer. A frame of the
// wrong size or a failed surface keeps the old picture; a failed ring is
// noticed when it is published.
void StoreFrame(OverlayRecord& record, const FrameBuffer& frame, const ContentKey& key) {
  OverlaySurface::StoreInPlace(record.ring, std::span<const uint8_t>(frame.data(), frame.size()), key);
}

}  // namespace

struct VrSession::FrameLocals {
  VrPhonePort* ui = nullptr;
  uint8_t* phone_shown = nullptr;
  bool ui_changed = false;
  uint64_t now = 0;
  bool phone_open_at_start = false;
  ControllerFrame c;
  bool left_grip_held = false;
  bool point_click_held = false;
  int32_t hand_candidate[2] = {-1, -1};
  bool both_on_one = false;
  bool pointing = false;
  bool trigger = false;
  Matrix34 pointer_pose{};
  int32_t pointer_hand = -1;
  PointerHit browser_hit = kPointerMiss;
  bool pointer_shown = false;
  Vec3 hit_point{};
  bool new_notice = false;
  bool pointer_left = false;
};

void NoteAcceptedInput(VrSession& s, uint32_t source, bool text_input_active, uint64_t sample_time_ms) {
  if (s.pending_input != 0) WriteEventLog("VR_INPUT_FRAME_COALESCED", 1, 0);
  ++s.accepted_inputs;
  s.pending_input = s.accepted_inputs;
  s.input_time = sample_time_ms != 0 ? sample_time_ms : platform::TickCount64();
  s.input_source = source;
  s.input_flags = (s.phone_open ? 1u : 0u) + (text_input_active ? 2u : 0u);
  WriteEventLog("VR_INPUT_ACCEPTED", source, 0);
}

bool VrSession::Frame(PhoneUi& ui, UiSettings& settings, uint8_t* phone_shown, bool ui_changed) {
  if (!owned_port_) {
    owned_port_ = std::make_unique<PhoneUiPort>(ui);
  } else if (&owned_port_->ui() != &ui) {
    owned_port_->Rebind(ui);
  }
  return Frame(*owned_port_, settings, phone_shown, ui_changed);
}

bool VrSession::Frame(VrPhonePort& ui, UiSettings& settings, uint8_t* phone_shown, bool ui_changed) {
  if (!initialized_ || !phone_shown) return false;
  FrameLocals f;
  f.ui = &ui;
  f.phone_shown = phone_shown;
  f.ui_changed = ui_changed;
  f.now = platform::TickCount64();
  f.pointer_left = settings.pointer_left;
  // 1.
  phone_ui = &ui;
  phone_open = *phone_shown;
  f.phone_open_at_start = phone_open != 0;
  // 2.
  SamplePointerLook(settings);
  // 3..7.
  if (!CheckRuntime(f)) return false;
  // 8.
  ray_direction = RayDirectionFromAngles(settings);
  // 9..13.
  RunWristRing(f, settings);
  // 14.
  HandleTracking(f, settings);
  // 15.
  HandleRequests(f, settings);
  // 16.
  UpdateRingImage(f, settings);
  // 17.
  PlacePopups(f, settings);
  // 18, 19.
  RunBrowserFeature(f);
  // 20.
  SetPhoneAndKeyboardVisibility(f);
  // 21, 22.
  RunGrab(f);
  // 23.
  PlaceLauncherStrip(f);
  // 24.
  RunPointing(f, settings);
  // 25.
  if (OpenHeldNotice(*this, ui, f.c, settings, phone_shown)) pointer_target = OwnPointerTarget{};
  // 26.
  RunTaps(f);
  // 27.
  Render(f);
  // 28.
  if (!Publish()) return false;
  // 29.
  ReportLatency();
  // 30, 31. The main loop counts and times its pass (RecordLoopPass).
  FinalVisibility(f);
  return true;
}

void VrSession::SamplePointerLook(const UiSettings& settings) {
  OverlayRecord& pointer = overlays[kPointerOverlay];
  if (settings.pointer_blue != pointer_blue) {
    pointer_blue = settings.pointer_blue;
    OverlaySurface::StoreIfChanged(pointer.ring, MakePointerDotImage(pointer_blue), ContentKey{});
  }
  const uint32_t p = RoundPointerSizePercent(settings.pointer_size_percent);
  if (p != pointer_size_percent && pointer.SetWidth(PointerWidthMetres(p))) pointer_size_percent = p;
}

bool VrSession::CheckRuntime(FrameLocals& f) {
  if (f.now >= next_process_check) {
    next_process_check = f.now + kLivenessPeriodMs;
    const uint32_t pid = FindVrServerProcess();
    if (pid == 0 || pid != vrserver_pid) return false;
    if (autostart_policy) autostart_policy(program_path_, pid);
  }
  pvr::Event event;
  while (system->PollNextEvent(&event)) {
    if (event.type == pvr::kEventQuit) {
      system->AcknowledgeQuitExiting();
      return false;
    }
  }
  if (!device || device->Removed()) return false;
  if (!overlays[kWristRingOverlay].PublishTextureCached()) return false;
  input.Sample(system, &f.c, &f.left_grip_held, &f.point_click_held);
  input_health = (f.c.headset_pose_valid ? 1u : 0u) | (f.c.left_pose_valid ? 2u : 0u) |
                 (f.c.right_pose_valid ? 4u : 0u) | (f.c.right_grip_action_active ? 8u : 0u);
  return true;
}

void VrSession::RunWristRing(FrameLocals& f, const UiSettings& settings) {
  BuildPointerCandidates(*this, *f.ui);
  if (f.c.left_pose_valid) f.hand_candidate[0] = SelectPointerTarget(*this, candidates, f.c.left_pose);
  if (f.c.right_pose_valid) f.hand_candidate[1] = SelectPointerTarget(*this, candidates, f.c.right_pose);
  f.both_on_one = f.c.left_pose_valid && f.c.right_pose_valid && input.left_grip_source &&
                  f.c.right_grip_action_active && f.left_grip_held && f.c.right_grip_held &&
                  f.hand_candidate[0] >= 0 && f.hand_candidate[1] >= 0 &&
                  candidates[f.hand_candidate[0]].record == candidates[f.hand_candidate[1]].record &&
                  candidates[f.hand_candidate[0]].content_key == candidates[f.hand_candidate[1]].content_key;
  const bool ring_has_content = overlays[kWristRingOverlay].ring.has_published;
  WristRingInput in;
  in.frame = &f.c;
  in.sample_time = f.now;
  in.right_grip_counts = !drag_active && !f.both_on_one && f.c.right_grip_action_active && ring_has_content &&
                         (ring_state.shown || ring_state.grabbing);
  SolveWristRing(ring_state, &ring_result, in, settings);
  wrist_angle = ring_result.wrist_angle;
  if (ring_result.grab_begins) WriteEventLog("VR_RING_GRAB_BEGIN", 1, 0);
  if (ring_result.refusal != 0) {
    const float mm = std::min(ring_result.hand_distance * 1000.0f, 10000.0f);
    WriteEventLog("VR_RING_GRAB_BLOCKED", ring_result.refusal, static_cast<uint64_t>(std::max(mm, 0.0f)));
  }
  // 11.
  if (f.c.right_pose_valid && f.c.right_grip_action_active) {
    if (f.c.right_grip_held != right_grip_held_last) {
      WriteEventLog("VR_RIGHT_GRIP_EDGE", f.c.right_grip_held ? 1 : 0, input.grip_source_bits);
    }
    right_grip_held_last = f.c.right_grip_held;
  }
  // 12.
  const float factor = ring_result.grabbed ? 1.22f : ring_result.hovered ? 1.1f : 1.0f;
  if (factor != ring_width_factor) {
    ring_width_factor = factor;
    if (pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay()) {
      // A refused width leaves the ring at its last size; the factor is sent again on its next change.
      (void)overlay->SetWidthInMeters(overlays[kWristRingOverlay].handle, settings.ring_width_m * factor);
    }
  }
  if (ring_result.cancel) WriteEventLog("VR_RING_CANCEL", 1, 0);
  if (ring_result.grabbed) ++ring_grab_frames;
  // 13.
  if (ring_result.toggle) {
    ++ring_toggles;
    *f.phone_shown = *f.phone_shown ? 0 : 1;
    phone_open = *f.phone_shown;
    ClearInteraction();
    if (phone_open && f.c.headset_pose_valid) SpawnPhone(*this, f.c.headset_pose, settings);
    WriteEventLog("VR_RING_TOGGLE", phone_open ? 1 : 0, 0);
  }
}

void VrSession::ClearInteraction() {
  drag_active = false;
  drag_hand = -1;
  pending_press = PendingPress{};
  grab.Reset();
}

void VrSession::HandleTracking(FrameLocals& f, const UiSettings& settings) {
  OverlayRecord& phone = overlays[kPhoneOverlay];
  if (f.c.headset_pose_valid) {
    if (phone_open && !phone.placed) SpawnPhone(*this, f.c.headset_pose, settings);
    return;
  }
  phone.placed = false;
  ClearInteraction();
  browser.EndInputLease();
}

void VrSession::HandleRequests(FrameLocals& f, UiSettings& settings) {
  VrPhonePort& ui = *f.ui;
  if (ui.TakeShowPhoneRequest() && f.c.headset_pose_valid) {
    *f.phone_shown = 1;
    phone_open = 1;
    SpawnPhone(*this, f.c.headset_pose, settings);
  }
  if (ui.TakeWristCalibrationRequest()) {
    calibration_deadline = f.now + kCalibrationMs;
    ui.SetCalibrationState(3, false);
    f.ui_changed = true;
  }
  if (calibration_deadline == 0) return;
  if (f.now < calibration_deadline) {
    const uint32_t seconds = static_cast<uint32_t>((calibration_deadline - f.now + 999) / 1000);
    if (seconds != calibration_countdown_) {
      ui.SetCalibrationState(seconds, false);
      f.ui_changed = true;
    }
    calibration_countdown_ = seconds;
    return;
  }
  const bool ok = f.c.left_pose_valid && f.c.headset_pose_valid;
  if (ok) {
    const Vec3 wrist = TransformPoint(f.c.left_pose, {settings.wrist_x, settings.wrist_y, settings.wrist_z});
    const Vec3 head = PositionOf(f.c.headset_pose);
    const Vec3 towards{head[0] - wrist[0], head[1] - wrist[1], head[2] - wrist[2]};
    const Vec3 local = NormalizeOrZero(RotateVector(InvertRigidTransform(f.c.left_pose), towards));
    settings.normal_x = local[0];
    settings.normal_y = local[1];
    settings.normal_z = local[2];
    settings.Save();
    ClearWristRing(ring_state);
  }
  ui.SetCalibrationState(0, !ok);
  calibration_countdown_ = 0;
  f.ui_changed = true;
  WriteEventLog("VR_WRIST_CALIBRATE", ok ? 1 : 0, 0);
  calibration_deadline = 0;
}

void VrSession::UpdateRingImage(FrameLocals& f, const UiSettings& settings) {
  OverlayRecord& ring = overlays[kWristRingOverlay];
  if (settings.ring_black != ring_black) {
    ring_black = settings.ring_black;
    OverlaySurface::StoreIfChanged(ring.ring, BuildWristRingImage(ring_black), ContentKey{});
  }
  if (ring_result.shown && f.c.headset_pose_valid) {
    ring.SetTransform(MakeFacingTransform(ring_result.ring_position, PositionOf(f.c.headset_pose)));
  }
}

void VrSession::PlacePopups(FrameLocals& f, const UiSettings& settings) {
  VrPhonePort& ui = *f.ui;
  const bool head = f.c.headset_pose_valid;
  const uint64_t first_notice = ui.GetPopupItemKey(1);
  f.new_notice = first_notice != 0 && first_notice != popup_slots[1].last_key &&
                 first_notice != popup_slots[2].last_key && first_notice != popup_slots[3].last_key;
  const auto place_anchor = [&] {
    const float x = ui.GetPopupItemKey(0) != 0 ? 0.39f : 0.0f;
    notice_anchor = PlacePopupInView(f.c.headset_pose, settings, -0.12f, x);
    notice_anchor_up = {f.c.headset_pose[0][1], f.c.headset_pose[1][1], f.c.headset_pose[2][1]};
    notice_anchor_placed = true;
  };
  if (f.new_notice && head) place_anchor();
  for (uint32_t slot = 0; slot < kPopupSlotCount; ++slot) {
    OverlayRecord& record = PopupRecord(*this, slot);
    PopupSlotState& state = popup_slots[slot];
    const uint64_t key = ui.GetPopupItemKey(slot);
    if (key == 0 || !head) {
      // Nothing is placed: a notice that came while untracked keeps waiting.
      // An empty slot forgets its item, so that an item coming back is
      // placed in view again.
      if (key == 0) state.last_key = 0;
      record.SetVisible(false);
      continue;
    }
    const bool notice = slot >= 1 && slot <= 3;
    if (key != state.last_key || !record.placed || (notice && f.new_notice)) {
      if (notice) {
        if (!notice_anchor_placed) place_anchor();
        Matrix34 t = notice_anchor;
        const float along = static_cast<float>(slot - 1) * kNoticeStackStep;
        for (size_t r = 0; r < 3; ++r) t[r][3] += notice_anchor_up[r] * along;
        record.SetTransform(t);
      } else {
        record.SetTransform(PlacePopupInView(f.c.headset_pose, settings, slot == 0 ? -0.12f : -0.62f, 0.0f));
      }
      WriteEventLog("UI_POPUP_WORLD_SPAWN", slot, 0);
    }
    state.last_key = key;
    RenderPopup(slot, false);
    record.SetVisible(record.placed);
  }
}

void VrSession::RenderPopup(uint32_t slot, bool compare_only) {
  OverlayRecord& record = PopupRecord(*this, slot);
  PopupSlotState& state = popup_slots[slot];
  VrPhonePort& ui = *phone_ui;
  const std::array<uint64_t, 5> render_key = ui.GetPopupRenderKey(slot);
  if (render_key == state.render_key && state.rendered) return;
  if (compare_only && state.last_key == 0) return;
  const FrameBuffer frame = ui.RenderPopupFrame(slot);
  const std::array<uint64_t, 3> identity = ui.GetPopupIdentity(slot);
  record.shown_pixels.assign(frame.data(), frame.data() + frame.size());
  StoreFrame(record, frame, identity);
  state.render_key = render_key;
  state.rendered = true;
}

void VrSession::RunBrowserFeature(FrameLocals& f) {
  browser.UpdatePanels(f.c.headset_pose, f.c.headset_pose_valid, true, ray_direction, f.pointer_left);
  const BrowserRouteEnvironment route = ReadBrowserRouteEnvironment();
  browser.SetAudioRoute(route.render_endpoint_id, route.output_generation, route.valid);
  if (f.now >= next_browser_counters) {
    next_browser_counters = f.now + kLivenessPeriodMs;
    browser.LogNativeCounters();
    for (uint32_t panel = 0; panel < quorix_browser_vr::kPanelCount; ++panel) {
      if (browser.panels[panel].engine) quorix_browser_vr::LogBrowserAudioCounters(panel, kPlaceholderAudioStatus);
    }
  }
  browser.UpdateTextInputLease();
  AttachKeyboardToBrowserPanel(*this, *f.ui);
}

void VrSession::SetPhoneAndKeyboardVisibility(FrameLocals& f) {
  const bool head = f.c.headset_pose_valid;
  OverlayRecord& phone = overlays[kPhoneOverlay];
  OverlayRecord& keyboard = overlays[kKeyboardOverlay];
  phone.SetVisible(phone_open && phone.placed && head);
  keyboard.SetVisible((phone_open || f.ui->IsExternalEditorOpen()) && keyboard.placed && head &&
                      f.ui->IsTextInputActive());
}

void VrSession::RunGrab(FrameLocals& f) {
  BuildPointerCandidates(*this, *f.ui);
  f.hand_candidate[0] = f.c.left_pose_valid ? SelectPointerTarget(*this, candidates, f.c.left_pose) : -1;
  f.hand_candidate[1] = f.c.right_pose_valid ? SelectPointerTarget(*this, candidates, f.c.right_pose) : -1;
  const auto as_target = [](const PointerCandidate& c) {
    return GrabTarget{c.target_id, c.content_key, c.transform, c.width, c.min_width, c.max_width};
  };
  GrabInput in;
  in.valid = f.c.headset_pose_valid && !ring_state.grabbing;
  in.sample_time = f.now;
  in.hands[0] = {static_cast<uint8_t>(f.c.left_pose_valid && input.left_grip_source),
                 static_cast<uint8_t>(f.left_grip_held), f.c.left_pose};
  in.hands[1] = {static_cast<uint8_t>(f.c.right_pose_valid && f.c.right_grip_action_active),
                 static_cast<uint8_t>(f.c.right_grip_held), f.c.right_pose};
  std::array<GrabTarget, 2> hands{};
  for (size_t h = 0; h < 2; ++h) {
    if (f.hand_candidate[h] >= 0) hands[h] = as_target(candidates[f.hand_candidate[h]]);
  }
  const PointerCandidate* current = nullptr;
  for (const PointerCandidate& c : candidates) {
    if (c.target_id == grab.target.target_id && c.content_key == grab.target.content_key) current = &c;
  }
  GrabTarget current_target;
  if (current) current_target = as_target(*current);
  const GrabResult r = grab.Step(in, hands, current ? &current_target : nullptr);
  if (r.cancelled) WriteEventLog("VR_MANIPULATION_CANCEL", 1, 0);
  drag_active = r.active != 0;
  drag_hand = r.hand;
  if (!r.active) return;
  const PointerCandidate* target = nullptr;
  for (const PointerCandidate& c : candidates) {
    if (c.target_id == r.target.target_id && c.content_key == r.target.content_key) target = &c;
  }
  if (!target) return;
  drag_index = target->index;
  if (r.started || r.scale_started) {
    browser.CancelPanelPointers();
    pending_press = PendingPress{};
    if (target->index >= kCandidateIndexFirstPanel) {
      const uint32_t panel = target->index - kCandidateIndexFirstPanel;
      if (browser.panels[panel].overlay) browser.BringPanelToFront(panel);
    }
    if (r.started) WriteEventLog("UI3_MOVE_BEGIN", static_cast<uint64_t>(r.hand), target->index);
    if (r.scale_started) WriteEventLog("VR_TWO_HAND_SCALE_BEGIN", 2, target->index);
  }
  OverlayRecord& record = *target->record;
  record.SetWidth(r.target.width);
  const uint64_t before = record.transform_updates;
  record.SetTransform(r.target.transform);
  if (record.transform_updates != before) {
    if (target->index == 0) ++phone_transforms;
    if (target->index == kCandidateIndexKeyboard) ++keyboard_moves;
  }
}

void VrSession::PlaceLauncherStrip(FrameLocals& f) {
  OverlayRecord& phone = overlays[kPhoneOverlay];
  if (browser.launchers && browser.launchers_shown && phone.shown) {
    OverlayRecord& strip = *browser.launchers;
    const float along = phone.width / 2.0f + strip.width / 2.0f + kStripGap;
    strip.SetTransform(MoveAlong(phone.transform, {along, kStripLift, kStripForward}));
    const bool published = strip.ring.has_published || strip.PublishTextureCached();
    strip.SetVisible(published && browser.launchers_shown);
  } else if (browser.launchers) {
    browser.launchers->SetVisible(false);
  }
  SetPhoneAndKeyboardVisibility(f);
  overlays[kWristRingOverlay].SetVisible(ring_result.shown && f.c.headset_pose_valid);
}

void VrSession::RunPointing(FrameLocals& f, const UiSettings& settings) {
  VrPhonePort& ui = *f.ui;
  const ControllerFrame& c = f.c;
  if (f.pointer_left && c.left_pose_valid && input.left_click_active) {
    f.pointing = true;
    f.pointer_hand = 0;
    f.pointer_pose = c.left_pose;
    f.trigger = input.left_click_state;
  } else if (c.right_pose_valid && input.point_click_active) {
    f.pointing = true;
    f.pointer_hand = 1;
    f.pointer_pose = c.right_pose;
    f.trigger = f.point_click_held;
  }
  const int32_t left_now = f.pointer_left ? 1 : 0;
  if (pointer_left_last >= 0 && left_now != pointer_left_last) {
    pending_press = PendingPress{};
    pointer_target = OwnPointerTarget{};
    trigger_held_last = f.trigger;
  }
  pointer_left_last = left_now;

  // 24.1 Own targets.
  OwnPointerTarget best;
  if (f.pointing && !drag_active) {
    const bool editor = ui.IsExternalEditorOpen();
    for (const PointerCandidate& cand : candidates) {
      if (cand.index >= kOwnPointerTargets) continue;
      float x = 0.0f, y = 0.0f, d = 0.0f;
      if (!IntersectRayWithOverlay(*this, *cand.record, f.pointer_pose, &x, &y, &d)) continue;
      if (cand.index >= kCandidateIndexFirstPopup && !PixelShown(cand.record->shown_pixels, x, y)) continue;
      const auto idx = static_cast<int32_t>(cand.index);
      bool replace = best.index < 0;
      if (!replace && editor && idx == 1 && best.index == 0) replace = true;
      if (!replace && idx < 2 && best.index < 2) replace = d < best.distance;
      if (!replace && !(idx < 2 && best.index < 2)) replace = idx > best.index;
      if (replace) best = {idx, x, y, d};
    }
  }
  // 24.2 Keyboard swipe carry-over.
  OverlayRecord& keyboard = overlays[kKeyboardOverlay];
  if (pending_press.target == kPressKeyboard && pending_press.swipe && keyboard.shown && f.pointing) {
    const Vec3 dir = NormalizeOrZero(RotateVector(f.pointer_pose, ray_direction));
    const Vec3 hand = PositionOf(f.pointer_pose);
    const Vec3 origin{hand[0] + kRayOriginOffset * dir[0], hand[1] + kRayOriginOffset * dir[1],
                      hand[2] + kRayOriginOffset * dir[2]};
    RayHit hit;
    if (IntersectRayWithPlane(origin, dir, keyboard.transform, keyboard.width, OverlayHeightMetres(keyboard),
                              static_cast<float>(kFramePixelWidth), static_cast<float>(kKeyboardPixelHeight),
                              &hit)) {
      best = {kPressKeyboard, hit.x, hit.y, hit.distance};
    }
  }
  // 24.3 Browser hit.
  f.browser_hit = f.pointing && !drag_active && !ring_state.grabbing ? FindNearestPointerHit(browser, f.pointer_pose)
                                                                    : kPointerMiss;
  if (f.browser_hit.target >= 0) {
    const uint32_t own = best.index < 0 ? 0 : best.index == 0 ? kPriorityPhone
                                            : best.index == 1 ? kPriorityKeyboard : kPriorityPopup;
    const bool wins = best.index < 0 || own < f.browser_hit.priority ||
                      (own == f.browser_hit.priority && f.browser_hit.distance < best.distance);
    if (wins) {
      best = OwnPointerTarget{};
    } else {
      f.browser_hit = kPointerMiss;
    }
  }
  pointer_target = best;
  // 24.4.
  const bool grab_running = drag_active || ring_state.grabbing;
  browser.HandlePointer(f.browser_hit.target >= 0 ? &f.browser_hit : nullptr, f.pointing, f.trigger, grab_running);
  if (f.pointing && f.browser_hit.target >= 1) {
    browser_wheel_hit = {static_cast<uint32_t>(f.browser_hit.target), f.browser_hit.x, f.browser_hit.y};
    const auto hand = static_cast<uint32_t>(f.pointer_hand);
    BrowserThumbstickScroll(browser, wheel_repeater, &browser_wheel_hit, input.scroll_active[hand],
                            input.scroll_value[hand], f.trigger, f.now, hand);
  } else {
    // Off the panels: the stick starts afresh on the next panel.
    wheel_repeater.Reset();
  }
  browser.UpdateTextInputLease();
  AttachKeyboardToBrowserPanel(*this, ui);
  ShowPointer(f, settings);
}

void VrSession::ShowPointer(FrameLocals& f, const UiSettings& settings) {
  OverlayRecord& pointer = overlays[kPointerOverlay];
  OverlayRecord& laser = overlays[kPointerLaserOverlay];
  const bool own = pointer_target.index >= 0;
  f.pointer_shown = (own || f.browser_hit.target >= 0) && !browser.dragging;
  if (!f.pointer_shown) {
    pointer.SetVisible(false);
    laser.SetVisible(false);
    return;
  }
  const float distance = own ? pointer_target.distance : f.browser_hit.distance;
  const Vec3 dir = NormalizeOrZero(RotateVector(f.pointer_pose, ray_direction));
  const Vec3 hand = PositionOf(f.pointer_pose);
  const float along = kRayOriginOffset + distance;
  f.hit_point = {hand[0] + dir[0] * along, hand[1] + dir[1] * along, hand[2] + dir[2] * along};
  const OverlayRecord* hit_record = nullptr;
  if (own) {
    hit_record = &OwnPointerRecord(*this, static_cast<uint32_t>(pointer_target.index));
  } else if (f.browser_hit.target == 0) {
    hit_record = browser.launchers.get();
  } else {
    hit_record = browser.panels[static_cast<size_t>(f.browser_hit.target - 1)].overlay.get();
  }
  Vec3 at = f.hit_point;
  if (hit_record) {
    for (size_t r = 0; r < 3; ++r) at[r] += hit_record->transform[r][2] * kPointerDotLift;
  }
  pointer.SetTransform(MakeFacingTransform(at, hand));
  pointer.SetVisible(true);
  if (!laser_available) return;
  const LaserPlacement placement = ComputeLaserPlacement(f.pointer_pose, f.c.headset_pose, ray_direction, distance,
                                                         settings.pointer_size_percent);
  bool ok = true;
  if (placement.valid) {
    if (std::fabs(placement.texel_aspect - laser_texel_aspect) > 1e-5f) {
      pvr::Overlay* overlay = pvr::CurrentRuntime().GetOverlay();
      ok = overlay && overlay->SetTexelAspect(laser.handle, placement.texel_aspect) == 0;
      if (ok) laser_texel_aspect = placement.texel_aspect;
    }
    ok = ok && laser.SetWidth(placement.length);
    if (ok) {
      laser.SetTransform(placement.transform);
      laser.SetVisible(true);
    }
  } else {
    laser.SetVisible(false);
  }
  // The new picture is published with the frame's other pictures.
  if (ok && (!laser_image.valid || laser_image.blue != settings.pointer_blue)) {
    ok = SetLaserImage(laser, settings.pointer_blue, laser_image);
  }
  if (!ok) TurnLaserOff();
}

void VrSession::TurnLaserOff() {
  overlays[kPointerLaserOverlay].SetVisible(false);
  laser_available = false;
  WriteEventLog("VR_POINTER_LASER_AVAILABLE", 0, 0);
}

void VrSession::RunTaps(FrameLocals& f) {
  VrPhonePort& ui = *f.ui;
  const bool trigger = f.trigger;
  const bool was_held = trigger_held_last;
  trigger_held_last = trigger;
  if (!f.pointing || !f.c.headset_pose_valid) {
    pending_press = PendingPress{};
    return;
  }
  if (drag_active || ring_state.grabbing || f.browser_hit.target >= 0 || browser.pressing || browser.dragging) {
    if (browser.pressing || browser.dragging) pending_press = PendingPress{};
    return;
  }
  const OwnPointerTarget& t = pointer_target;
  const bool text_active = ui.IsTextInputActive();
  if (trigger && !was_held) {
    if (t.index < 0) return;
    PendingPress press;
    press.target = t.index;
    press.x0 = press.x = t.x;
    press.y0 = press.y = t.y;
    if (t.index >= static_cast<int32_t>(kCandidateIndexFirstPopup)) {
      press.identity = ui.GetPopupIdentity(static_cast<uint32_t>(t.index) - kCandidateIndexFirstPopup);
      pending_press = press;
    } else if (t.index == kPressKeyboard && ui.IsKeyboardSwipeArea(t.x, t.y)) {
      press.swipe = true;
      pending_press = press;
    } else if (t.index == kPressPhone) {
      ui.Tap(t.x, t.y);
      NoteAcceptedInput(*this, kSourcePointer, text_active, f.now);
    } else if (ui.TapKeyboard(t.x, t.y)) {
      NoteAcceptedInput(*this, kSourcePointer, text_active, f.now);
    }
    return;
  }
  PendingPress& press = pending_press;
  if (press.target < 0) return;
  if (trigger) {
    if (t.index == press.target) {
      press.x = t.x;
      press.y = t.y;
    }
    return;
  }
  if (!was_held) return;
  const PendingPress done = std::exchange(press, PendingPress{});
  if (t.index != done.target) return;
  bool accepted = false;
  if (done.target >= static_cast<int32_t>(kCandidateIndexFirstPopup)) {
    accepted = ui.PressPopup(static_cast<uint32_t>(done.target) - kCandidateIndexFirstPopup, done.x0, done.y0,
                             done.identity, false);
  } else {
    const float dx = done.x - done.x0;
    const float dy = done.y - done.y0;
    if (std::fabs(dx) <= kSwipeTapPixels && std::fabs(dy) <= kSwipeTapPixels) {
      accepted = ui.TapKeyboard(done.x0, done.y0);
    } else {
      accepted = ui.SwipeKeyboard(done.x0, done.y0, static_cast<int32_t>(dx), static_cast<int32_t>(dy));
    }
  }
  if (accepted && (phone_open || ui.IsExternalEditorOpen())) {
    NoteAcceptedInput(*this, kSourcePointer, text_active, f.now);
  }
}

void VrSession::Render(FrameLocals& f) {
  VrPhonePort& ui = *f.ui;
  if (ui.TakeDirty()) {
    ui.RequestDesktopRepaint();
    f.ui_changed = true;
  }
  if (f.ui_changed) {
    phone_render_needed = true;
    keyboard_render_needed = true;
  }
  const bool editor = ui.IsExternalEditorOpen();
  const bool text_active = ui.IsTextInputActive() && (phone_open || editor);
  OverlayRecord& phone = overlays[kPhoneOverlay];
  OverlayRecord& keyboard = overlays[kKeyboardOverlay];
  if (text_active && !text_input_was_active && phone.placed && !editor) {
    keyboard.SetTransform(ComputeKeyboardTransform(phone, keyboard.width));
  }
  text_input_was_active = text_active;
  if (!phone_ever_rendered_ || (phone_open && phone_render_needed)) {
    phone_ever_rendered_ = true;
    const auto start = std::chrono::steady_clock::now();
    const std::array<uint64_t, 3> revisions = ui.GetOwnerRevisions(accepted_inputs);
    StoreFrame(phone, ui.RenderPhoneFrame(), revisions);
    longest_phone_paint_ms = std::max(longest_phone_paint_ms, ElapsedMs(start));
    phone_render_needed = false;
  }
  if (!keyboard_ever_rendered_ || ((phone_open || editor) && text_active && keyboard_render_needed)) {
    keyboard_ever_rendered_ = true;
    const auto start = std::chrono::steady_clock::now();
    StoreFrame(keyboard, ui.RenderKeyboardFrame(), ContentKey{accepted_inputs, 0, 0});
    longest_keyboard_paint_ms = std::max(longest_keyboard_paint_ms, ElapsedMs(start));
    keyboard_render_needed = false;
  }
  for (uint32_t slot = 0; slot < kPopupSlotCount; ++slot) RenderPopup(slot, true);
}

bool VrSession::Publish() {
  for (size_t index : {kPhoneOverlay, kKeyboardOverlay, kWristRingOverlay, kPointerOverlay}) {
    if (!overlays[index].PublishTextureCached()) return false;
  }
  // The laser is published like the pointer, so that its picture completes;
  // being optional, a failure turns it off rather than losing the runtime.
  if (laser_available && !overlays[kPointerLaserOverlay].PublishTextureCached()) TurnLaserOff();
  for (uint32_t slot = 0; slot < kPopupSlotCount; ++slot) {
    OverlayRecord& record = PopupRecord(*this, slot);
    if (!(record.result_held ? record.held_result : record.ring.Publish(OverlayTexturePublisher{&record}))) {
      return false;
    }
  }
  const OverlayRecord& phone = overlays[kPhoneOverlay];
  if (phone.published_key != drawn_phone_key) {
    drawn_phone_key = phone.published_key;
    phone_ui->SetDrawnRevisions(drawn_phone_key[1], drawn_phone_key[2]);
  }
  return true;
}

void VrSession::ReportLatency() {
  if (pending_input == 0) return;
  const bool phone_seen = overlays[kPhoneOverlay].published_key[0] >= pending_input;
  const bool keyboard_seen = overlays[kKeyboardOverlay].published_key[0] >= pending_input;
  if (((input_flags & 1) && !phone_seen) || ((input_flags & 2) && !keyboard_seen)) return;
  const uint64_t now = platform::TickCount64();
  const uint64_t ms = std::min(now > input_time ? now - input_time : 0, kLatencyCapMs);
  WriteEventLog("VR_INPUT_TO_FRAME_MS", ms, input_source);
  pending_input = 0;
}

void VrSession::FinalVisibility(FrameLocals& f) {
  SetPhoneAndKeyboardVisibility(f);
  const bool head = f.c.headset_pose_valid;
  for (uint32_t slot = 0; slot < kPopupSlotCount; ++slot) {
    OverlayRecord& record = PopupRecord(*this, slot);
    record.SetVisible(head && f.ui->GetPopupItemKey(slot) != 0 && record.placed);
  }
  OverlayRecord& ring = overlays[kWristRingOverlay];
  ring.SetVisible(ring_result.shown && head);
  if (ring.shown) {
    if (!ring_first_visible_logged) WriteEventLog("VR_RING_FIRST_VISIBLE", 1, 0);
    ring_first_visible_logged = true;
    ++ring_visible_frames;
  }
  // The laser counts when the runtime really shows it at the frame's end:
  // not before its picture has arrived, nor after its publish failed.
  if (overlays[kPointerLaserOverlay].shown) ++laser_visible_frames;
}
