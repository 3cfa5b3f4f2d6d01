#include "app_host.h"

#include <optional>

#include "browser/browser_waits.h"
#include "browser_audio/audio_guard.h"
#include "chat/avatar_cache.h"
#include "core/event_log.h"
#include "core/ui_settings.h"
#include "phone_service/call_session.h"
#include "phone_service/gateway.h"
#include "phone_service/windows_media.h"
#include "phone_service/windows_wire.h"
#include "phone_ui/desktop_window.h"
#include "phone_ui/phone_ui.h"
#include "phone_ui/ui_sound_player.h"
#include "platform/gui.h"
#include "session_owner/window.h"
#include "vr/vr_session.h"

namespace {

class ProgramHost final : public AppHost {
 public:
  ~ProgramHost() override { DestroyObjects(); }

  void StartBrowserAudioGuard(const std::filesystem::path& status_file) override {
    BrowserAudioGuard::Instance().SetStatusFilePath(status_file);
    BrowserAudioGuard::Instance().Start();
  }

  bool BuildSession() override {
    call_.emplace();
    wire_.emplace();
    media_.emplace();
    gateway_.emplace(&*call_, &*wire_, &*media_, std::function<uint64_t()>());
    call_->AttachGateway(&*gateway_);
    owner_.emplace(&*call_, &*wire_, &*gateway_);
    return owner_->Create(true);
  }

  bool BuildSettings() override {
    settings_.emplace();
    return settings_->Load("");
  }

  void BuildPhoneUi() override {
    ui_.emplace();
    ui_->AttachCallSession(&*call_);
    ui_->AttachOwner(&*owner_);
    ui_->Initialize();  // always true; the start-up does not use its answer
    ui_->AttachSettings(&*settings_);
    owner_->SetBusyCheck([ui = &*ui_] { return ui->HasPendingFetch(); });
    quorix_browser::SetEditorCloseCallback([ui = &*ui_](uint64_t id) { ui->CloseExternalEditor(id); });
  }

  bool CreateDesktop() override {
    desktop_.emplace(&*ui_);
    return desktop_->Create(false);
  }

  // A lost X display ends the program normally, as a log-off would.
  bool DesktopQuitRequested() override { return (desktop_ && desktop_->quit) || platform::DisplayLost(); }
  bool OwnerWindowGone() override { return !owner_ || !owner_->HasWindowHandle(); }
  void HandleShowMessage() override {
    if (desktop_) desktop_->HandleShowMessage();
  }
  void PumpGateway() override { gateway_->Pump(); }
  void TickOwner() override { owner_->Tick(); }
  void TickPhoneUi() override { ui_->Tick(); }
  bool TakePhoneDirty() override { return ui_->TakeDirty(); }

  void FeedBrowserAudio(const BrowserRouteEnvironment& route) override {
    BrowserAudioGuard& guard = BrowserAudioGuard::Instance();
    guard.SetVolumePercent(settings_->browser_volume);
    guard.SetTargetEndpoint(route.render_endpoint_id, route.output_generation, route.valid);
  }

  bool VrServerRunning() override { return FindVrServerProcess() != 0; }

  bool ConnectVr(const std::filesystem::path& assets_dir) override {
    vr_ = VrSession::Create();
    if (vr_ && vr_->Init(*settings_, assets_dir)) return true;
    vr_.reset();
    ShutdownVrRuntime();
    return false;
  }
  bool HasVrSession() override { return vr_ != nullptr; }
  void DisconnectVr() override {
    vr_.reset();
    ShutdownVrRuntime();
  }
  void ClearShowPhoneRequest() override { ui_->show_phone_request = 0; }
  void UpdateDesktop(bool force) override { desktop_->Update(force); }
  bool VrFrame(uint8_t* phone_shown, bool redraw) override {
    return vr_->Frame(*ui_, *settings_, phone_shown, redraw);
  }
  void LogVrStats() override { vr_->LogStats(); }

  bool TakeShowRequest() override {
    bool requested = Take(ui_->show_desktop_request);
    if (!requested) requested = Take(ui_->desktop_show_request_from_vr);
    return requested;
  }
  void ShowDesktop() override { desktop_->SetVisible(true); }
  bool TakeRepaintRequest() override {
    const bool dirty = ui_->TakeDirty();
    return Take(ui_->desktop_repaint_request) || dirty;
  }
  void RecordVrPass(double pass_ms) override { vr_->RecordLoopPass(pass_ms); }

  void DestroyDesktop() override { desktop_.reset(); }
  void CloseOwner() override {
    owner_->SetBusyCheck({});
    owner_->Close();
    quorix_avatar::Shutdown();
  }
  void StopService() override {
    gateway_->Shutdown();
    wire_->Stop();
  }
  void StopSounds() override { UiSoundPlayer::Instance().StopAll(); }

  void DestroyObjects() noexcept override {
    vr_.reset();
    desktop_.reset();
    // The owner must not ask a phone UI that is gone whether it is busy.
    if (owner_) owner_->SetBusyCheck({});
    quorix_browser::SetEditorCloseCallback({});
    ui_.reset();
    settings_.reset();
    owner_.reset();
    gateway_.reset();
    media_.reset();
    wire_.reset();
    call_.reset();
  }

  bool ShutdownBrowserAudio(uint32_t milliseconds, BrowserAudioRouteStatus* status) override {
    const bool confirmed = BrowserAudioGuard::Instance().ShutdownAndWait(milliseconds);
    BrowserAudioGuard::Instance().GetStatus(status);
    return confirmed;
  }
  bool WaitForBrowserWorkerThreads(uint32_t milliseconds) override {
    return ::WaitForBrowserWorkerThreads(milliseconds);
  }
  bool BrowserShutdownWait(uint32_t milliseconds) override { return ::BrowserShutdownWait(milliseconds); }

 private:
  static bool Take(uint8_t& flag) {
    const bool was = flag != 0;
    flag = 0;
    return was;
  }

  // Declared in construction order; destroyed in reverse by DestroyObjects.
  std::optional<CallSession> call_;
  std::optional<quorix_phone::WindowsWire> wire_;
  std::optional<quorix_phone::WindowsMedia> media_;
  std::optional<quorix_phone::Gateway> gateway_;
  std::optional<two_pc::Window> owner_;
  std::optional<UiSettings> settings_;
  std::optional<PhoneUi> ui_;
  std::optional<DesktopWindow> desktop_;
  std::unique_ptr<VrSession> vr_;
};

}  // namespace

std::unique_ptr<AppHost> MakeProgramHost() { return std::make_unique<ProgramHost>(); }
