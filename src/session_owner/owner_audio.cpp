// The owner's call audio devices: the microphone and speaker lists, the
// selection handed to the media worker through the environment, the UI
// sounds' and the browser's output, and the media status line.
#include <algorithm>
#include <string>

#include "core/environment.h"
#include "core/event_log.h"
#include "core/text.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/audio_endpoints.h"
#include "platform/env.h"
#include "platform/ui_window.h"
#include "session_owner/call_audio.h"
#include "session_owner/window.h"

namespace ui = platform::ui;

namespace two_pc {
namespace {

constexpr size_t kMaxAudioDevices = 128;

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool SameEndpointId(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return AsciiLower(x) == AsciiLower(y); });
}

platform::AudioFlow FlowOf(bool capture) {
  return capture ? platform::AudioFlow::kCapture : platform::AudioFlow::kRender;
}

}  // namespace

int32_t Window::SelectedAudioIndex(bool capture) const {
  const std::vector<AudioDeviceEntry>& list = capture ? capture_devices_ : render_devices_;
  const platform::WindowHandle selector = capture ? microphone_list_ : speaker_list_;
  if (!ui::IsWindow(selector)) return -1;
  const intptr_t index = ui::SendMessage(selector, ui::kCbGetCurSel, 0, 0);
  return index >= 0 && static_cast<size_t>(index) < list.size() ? static_cast<int32_t>(index) : -1;
}

quorix_native::Ui::AudioDeviceList Window::GetAudioDevices(bool capture) {
  AudioDeviceList result;
  for (const AudioDeviceEntry& entry : capture ? capture_devices_ : render_devices_) result.names.push_back(entry.name);
  result.selected = SelectedAudioIndex(capture);
  result.revision = device_list_revision_;
  return result;
}

bool Window::SelectAudioDevice(bool capture, int32_t index, uint64_t list_revision) {
  const std::vector<AudioDeviceEntry>& list = capture ? capture_devices_ : render_devices_;
  if (GetStatus().idle == 0 || list_revision != device_list_revision_ || index < 0 ||
      static_cast<size_t>(index) >= list.size()) {
    return false;
  }
  ui::SendMessage(capture ? microphone_list_ : speaker_list_, ui::kCbSetCurSel, static_cast<uintptr_t>(index), 0);
  if (!capture) PublishBrowserOutputSelection();
  return ApplyAudioSelection();
}

bool Window::RefreshAudioDevices() {
  if (GetStatus().idle == 0) return false;
  RefreshDeviceList(true);
  RefreshDeviceList(false);
  return true;
}

void Window::RefreshDeviceList(bool capture) {
  ++device_list_revision_;
  std::vector<AudioDeviceEntry>& list = capture ? capture_devices_ : render_devices_;
  const platform::WindowHandle selector = capture ? microphone_list_ : speaker_list_;
  const int32_t selected = SelectedAudioIndex(capture);
  const std::u16string remembered = selected >= 0 ? list[static_cast<size_t>(selected)].id : std::u16string();
  list.clear();
  ui::SendMessage(selector, ui::kCbResetContent, 0, 0);
  for (platform::AudioEndpoint& endpoint : platform::ProcessAudioEndpoints().List(FlowOf(capture))) {
    if (list.size() >= kMaxAudioDevices) break;
    if (endpoint.id.empty()) continue;
    ui::SendMessage(selector, ui::kCbAddString, 0, reinterpret_cast<intptr_t>(&endpoint.name));
    list.push_back({std::move(endpoint.id), std::move(endpoint.name)});
  }
  if (!remembered.empty()) {
    auto match = std::find_if(list.begin(), list.end(),
                              [&remembered](const AudioDeviceEntry& entry) { return SameEndpointId(entry.id, remembered); });
    if (match != list.end()) {
      ui::SendMessage(selector, ui::kCbSetCurSel, static_cast<uintptr_t>(match - list.begin()), 0);
    } else {
      SetStatusText(u"選択していた音声デバイスがありません。使用する機器を選んでください");
    }
  } else if (!list.empty()) {
    ui::SendMessage(selector, ui::kCbSetCurSel, 0, 0);
  }
  if (!capture) PublishBrowserOutputSelection();
}

void Window::PublishBrowserOutputSelection() {
  const int32_t selected = SelectedAudioIndex(false);
  const std::u16string id = selected >= 0 ? render_devices_[static_cast<size_t>(selected)].id : std::u16string();
  const uint64_t before = browser_output_.output_generation;
  if (!PublishBrowserRenderId(browser_output_, id)) {
    WriteEventLog("BROWSER_OUTPUT_SELECTION_FAILED", 1, 0);
    return;
  }
  if (browser_output_.output_generation != before) {
    WriteEventLog("BROWSER_OUTPUT_SELECTION", browser_output_.output_generation, id.empty() ? 0 : 1);
  }
}

bool Window::ApplyAudioSelection() {
  const int32_t capture = SelectedAudioIndex(true);
  const int32_t render = SelectedAudioIndex(false);
  if (capture < 0 || render < 0) {
    SetStatusText(u"使用するマイクとスピーカーを選んでください");
    WriteEventLog("AUDIO_SELECTION_REJECTED", 1, 0);
    return false;
  }
  const std::u16string capture_id = capture_devices_[static_cast<size_t>(capture)].id;
  const std::u16string render_id = render_devices_[static_cast<size_t>(render)].id;
  platform::AudioEndpoints& endpoints = platform::ProcessAudioEndpoints();
  if (!endpoints.IsActive(platform::AudioFlow::kCapture, capture_id) ||
      !endpoints.IsActive(platform::AudioFlow::kRender, render_id)) {
    SetStatusText(u"選択した音声デバイスが利用できません。接続を確認して選び直してください");
    WriteEventLog("AUDIO_SELECTION_REJECTED", 2, 0);
    return false;
  }
  if (!platform::env::Set("QUORIX_C1B_CAPTURE_ID", WideToUtf8(capture_id)) ||
      !platform::env::Set("QUORIX_C1B_RENDER_ID", WideToUtf8(render_id))) {
    SetStatusText(u"音声デバイスの設定を適用できませんでした");
    WriteEventLog("AUDIO_SELECTION_REJECTED", 3, 0);
    return false;
  }
  if (capture_id != applied_capture_id_ || render_id != applied_render_id_) {
    ++selection_generation_;
    applied_capture_id_ = capture_id;
    applied_render_id_ = render_id;
  }
  if (!platform::env::Set("QUORIX_AUDIO_SELECTION_GENERATION", std::to_string(selection_generation_))) return false;
  UiSoundPlayer::Instance().SelectOutputEndpoint(render_id);
  WriteEventLog("AUDIO_SELECTION_PREPARED", selection_generation_, 0);
  return true;
}

void Window::ObserveCallAudio() {
  const uint32_t state = session_ != nullptr ? session_->GetSnapshot().state : CallSession::kIdle;
  if (state != CallSession::kConnecting && state != CallSession::kConnected) {
    ui::SetWindowText(media_status_label_, u"通話していません");
    return;
  }
  const std::u16string folder = ReadEnvironmentString(u"QUORIX_K10_OBSERVE_DIR");
  if (folder.empty()) return;
  const std::optional<std::filesystem::path> file = NewestCallAudioFile(std::filesystem::path(WideToUtf8(folder)));
  if (!file) return;
  bool cut = false;
  const std::optional<std::string> tail = ReadCallAudioTail(*file, &cut);
  if (!tail || tail->empty()) return;
  const CallAudioReading reading = ReadCallAudioLines(*tail, cut, call_phase_start_ms_);
  ui::SetWindowText(media_status_label_,
                    reading.any_complete_line ? DescribeCallAudio(reading) : u"接続処理中・音声の計測待ち");
}

}  // namespace two_pc
