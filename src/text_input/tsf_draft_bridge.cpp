#include "text_input/tsf_draft_bridge.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "core/text.h"
#include "platform/clock.h"
#include "platform/env.h"
#include "platform/text_services.h"

const char16_t* const kTsfStatusNames[17] = {
    u"NO_KANA",           u"FOREGROUND_DENIED",     u"FOREGROUND_CHANGED_NO_INPUT", u"MODIFIER_HELD_NO_INPUT",
    u"SENDINPUT_REJECTED", u"REQUESTED_WAIT_CANDIDATE", u"CANDIDATES_OBSERVED",      u"NO_CANDIDATE_TIMEOUT",
    u"CANCELED_CONTEXT",  u"NOT_READY_OR_COMPOSING", u"BACKGROUND_REQUESTED",       u"BACKGROUND_CANDIDATES",
    u"NO_JAPANESE_PROFILE", u"PROVIDER_UNAVAILABLE", u"PROVIDER_REJECTED",          u"CANCELED_STALE",
    u"BACKGROUND_FINALIZED"};

namespace {

bool IsKana(char16_t c) { return (c >= 0x3041 && c <= 0x3096) || c == 0x30FC; }
bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void PrintLine(const std::string& line) { std::cout << line << '\n' << std::flush; }

}  // namespace

class QuorixTsfDraftBridge::Impl {
 public:
  class CandidateSink;

  explicit Impl(ProviderFactory factory) : factory_(std::move(factory)) {}

  bool Initialize(platform::DraftHost* host, platform::DraftEdit* edit);
  void Shutdown();
  void SetTarget(platform::DraftHost* host, platform::DraftEdit* edit);
  bool SyncDraft(const std::u16string& text);
  void CancelComposition();
  bool IsBusy() const { return ready_ && Active(); }
  int32_t SelectCandidate(uint32_t index);
  void Refresh();
  bool RequestVrConvert(uint64_t start, uint64_t end);
  bool IsVrConvertEnabled() const { return ready_ && vr_enabled_; }
  bool ready() const { return ready_; }

  // The sink's callbacks.
  void BeginUIElement(uint32_t id, bool* show);
  void UpdateUIElement(uint32_t id);
  void EndUIElement(uint32_t id);

  State state_;
  std::unique_ptr<platform::InProcessDraftEdit> own_edit_;

 private:
  bool Active() const { return awaiting_ || element_ != platform::kNoElement || state_.candidates_present; }
  bool EditAlive() const { return edit_ != nullptr && edit_->IsAlive(); }
  bool HostVisible() const { return host_ != nullptr && host_->IsVisible(); }
  void SetStatus(const char16_t* name);
  void ReadCandidates(uint32_t id);
  void ObserveCandidates();
  void TakeBackgroundResult();
  bool PostConversionRequest(uint64_t id, const std::u16string& reading);
  void RunConversionWorker();
  void StopConversionWorker();

  ProviderFactory factory_;
  platform::TextServices* services_ = nullptr;
  bool bound_ = false;
  platform::DraftHost* host_ = nullptr;
  platform::DraftEdit* edit_ = nullptr;
  bool rich_edit_loaded_ = false;
  CandidateSink* sink_ = nullptr;
  uint32_t cookie_ = platform::kNoCookie;
  uint32_t element_ = platform::kNoElement;
  uint32_t client_id_ = 0;
  bool com_initialized_ = false;
  bool activated_ = false;
  bool ready_ = false;
  bool vr_enabled_ = false;
  bool awaiting_ = false;
  uint64_t request_time_ = 0;

  // The conversion worker. Guarded by worker_mutex_: the request, the
  // result and the wake-up flag.
  std::thread worker_;
  std::mutex worker_mutex_;
  std::condition_variable worker_wake_;
  bool wake_ = false;  // auto-reset: the worker clears it when it wakes
  std::atomic<bool> stop_{false};
  std::u16string request_text_;
  uint64_t request_id_ = 0;
  uint64_t result_id_ = 0;
  uint32_t result_fields_[5] = {};
  std::vector<std::u16string> result_candidates_;
  bool result_ready_ = false;

  bool background_pending_ = false;
  uint64_t request_sequence_ = 0;
  std::u16string snapshot_;
  uint64_t reading_start_ = 0;
  uint64_t reading_end_ = 0;
};

class QuorixTsfDraftBridge::Impl::CandidateSink final : public platform::UiElementSink {
 public:
  explicit CandidateSink(Impl* impl) : impl_(impl) {}

  int32_t QueryInterface(platform::SinkInterface which, void** out) override {
    if (out == nullptr) return platform::kTsPointer;
    if (which == platform::SinkInterface::kOther) {
      *out = nullptr;
      return platform::kTsNoInterface;
    }
    AddRef();
    *out = this;
    return platform::kTsOk;
  }
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    const uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }
  int32_t BeginUIElement(uint32_t id, bool* show) override {
    if (show == nullptr) return platform::kTsPointer;
    *show = true;
    if (impl_ != nullptr) impl_->BeginUIElement(id, show);
    return platform::kTsOk;
  }
  int32_t UpdateUIElement(uint32_t id) override {
    if (impl_ != nullptr) impl_->UpdateUIElement(id);
    return platform::kTsOk;
  }
  int32_t EndUIElement(uint32_t id) override {
    if (impl_ != nullptr) impl_->EndUIElement(id);
    return platform::kTsOk;
  }
  void Detach() { impl_ = nullptr; }

 private:
  ~CandidateSink() override = default;
  std::atomic<uint32_t> references_{1};
  Impl* impl_;
};

// ---- Set-up and tear-down ----

bool QuorixTsfDraftBridge::Impl::Initialize(platform::DraftHost* host, platform::DraftEdit* edit) {
  services_ = &platform::CurrentTextServices();
  if (services_->InitializeApartment() != platform::kTsOk) {
    PrintLine("MVP02C3C_INIT=FAIL COM_STA");
    return false;
  }
  com_initialized_ = true;
  if (services_->LoadRichEdit() != platform::kTsOk) {
    PrintLine("MVP02C3C_INIT=FAIL RICHEDIT");
    return false;
  }
  rich_edit_loaded_ = true;
  if (services_->Activate(&client_id_) != platform::kTsOk) return false;
  activated_ = true;
  sink_ = new CandidateSink(this);
  if (services_->AdviseSink(sink_, &cookie_) != platform::kTsOk) return false;

  if (host != nullptr) {
    bound_ = true;
    host_ = host;
    edit_ = edit;
    ready_ = true;
    vr_enabled_ = true;
    state_.vr_conversion_enabled = 1;
    return true;
  }
  // Own window: an in-process edit stands in for the experimental window.
  own_edit_ = std::make_unique<platform::InProcessDraftEdit>(kDraftLimit);
  host_ = own_edit_.get();
  edit_ = own_edit_.get();
  ready_ = true;
  vr_enabled_ = platform::env::Get("QUORIXPHONE_TSF_C3E") == std::optional<std::string>("1");
  state_.vr_conversion_enabled = vr_enabled_ ? 1 : 0;
  PrintLine(std::string("MVP02C3E_VR_CONVERT_FEATURE=") + (vr_enabled_ ? "OPT_IN_EXPERIMENTAL" : "OFF"));
  PrintLine("MVP02C3C_TSF_SINK=PASS scope=DRAFT_ONLY native_candidate_ui=SUPPRESSED");
  return true;
}

void QuorixTsfDraftBridge::Impl::Shutdown() {
  StopConversionWorker();
  ready_ = false;
  if (services_ != nullptr && cookie_ != platform::kNoCookie) services_->UnadviseSink(cookie_);
  cookie_ = platform::kNoCookie;
  if (sink_ != nullptr) {
    sink_->Detach();
    sink_->Release();
    sink_ = nullptr;
  }
  if (activated_) services_->Deactivate();
  activated_ = false;
  host_ = nullptr;
  edit_ = nullptr;
  own_edit_.reset();
  rich_edit_loaded_ = false;
  com_initialized_ = false;
  element_ = platform::kNoElement;
}

void QuorixTsfDraftBridge::Impl::SetTarget(platform::DraftHost* host, platform::DraftEdit* edit) {
  if (!bound_) return;
  if (edit != edit_) CancelComposition();
  host_ = host;
  edit_ = edit;
  if (edit == nullptr) {
    state_.draft.clear();
    state_.candidates.clear();
    state_.candidates_present = 0;
    ++state_.revision;
  }
}

// ---- Status and cancelling ----

void QuorixTsfDraftBridge::Impl::SetStatus(const char16_t* name) {
  if (state_.status_name == name) return;
  state_.status_name = name;
  state_.status_code = 0;
  for (uint32_t i = 0; i < 17; ++i) {
    if (std::u16string_view(kTsfStatusNames[i]) == name) state_.status_code = i + 1;
  }
  ++state_.revision;
}

void QuorixTsfDraftBridge::Impl::CancelComposition() {
  const bool active = Active();
  if (EditAlive() && active && !background_pending_ && !state_.background_candidates) edit_->CancelComposition();
  ++request_sequence_;  // a late worker result no longer matches
  awaiting_ = false;
  background_pending_ = false;
  snapshot_.clear();
  element_ = platform::kNoElement;
  state_.candidates.clear();
  state_.candidates_present = 0;
  state_.selection_valid = 0;
  state_.background_candidates = 0;
  if (active) SetStatus(u"CANCELED_CONTEXT");
  ++state_.revision;
}

// ---- The input method's candidate list ----

void QuorixTsfDraftBridge::Impl::ReadCandidates(uint32_t id) {
  uint32_t count = 0;
  if (services_->GetElement(id) != platform::kTsOk || services_->GetCount(id, &count) != platform::kTsOk) return;
  count = std::min(count, kMaxImeCandidates);
  uint32_t selection = 0;
  const bool selection_ok = services_->GetSelection(id, &selection) == platform::kTsOk;
  std::vector<std::u16string> list;
  for (uint32_t i = 0; i < count; ++i) {
    std::u16string entry;
    if (services_->GetString(id, i, &entry) != platform::kTsOk) entry.clear();
    if (entry.size() > kImeCandidateUnits) {
      // Never end on a lone high surrogate.
      entry.resize(IsHigh(entry[kImeCandidateUnits - 1]) ? kImeCandidateUnits - 1 : kImeCandidateUnits);
    }
    list.push_back(std::move(entry));
  }
  state_.candidates_present = 1;
  state_.selection_valid = selection_ok ? 1 : 0;
  state_.selected_index = selection_ok ? selection : 0;
  state_.candidates = std::move(list);
  ++state_.revision;
}

void QuorixTsfDraftBridge::Impl::ObserveCandidates() {
  if (awaiting_ && !state_.candidates.empty()) {
    awaiting_ = false;
    SetStatus(u"CANDIDATES_OBSERVED");
    PrintLine("MVP02C3E_VR_CONVERT=CANDIDATES_OBSERVED");
  }
}

void QuorixTsfDraftBridge::Impl::BeginUIElement(uint32_t id, bool* show) {
  if (!HostVisible() || !EditAlive() || !edit_->HasFocus()) return;
  if (services_->GetElement(id) != platform::kTsOk) return;  // not a candidate list
  if (background_pending_ || state_.background_candidates) {
    const bool awaiting = awaiting_;
    CancelComposition();
    awaiting_ = awaiting;  // still waiting: this list is what the request waits for
  }
  element_ = id;
  *show = !awaiting_;  // the native list stays hidden while a conversion waits
  ReadCandidates(id);
  ObserveCandidates();
}

void QuorixTsfDraftBridge::Impl::UpdateUIElement(uint32_t id) {
  if (id != element_) return;
  ReadCandidates(id);
  ObserveCandidates();
}

void QuorixTsfDraftBridge::Impl::EndUIElement(uint32_t id) {
  if (id != element_) return;
  element_ = platform::kNoElement;
  state_.candidates_present = 0;
  state_.selection_valid = 0;
  state_.candidates.clear();
  ++state_.revision;
}

// ---- Draft ----

bool QuorixTsfDraftBridge::Impl::SyncDraft(const std::u16string& text) {
  if (!ready_ || !EditAlive() || text.size() > kDraftLimit || text.find(u'\0') != std::u16string::npos ||
      element_ != platform::kNoElement || state_.candidates_present) {
    return false;
  }
  const std::u16string current = edit_->Text();
  if (current.size() > kDraftLimit) return false;
  if (current == text) {
    Refresh();
    return true;
  }
  if (background_pending_) CancelComposition();
  size_t p = 0;
  while (p < current.size() && p < text.size() && current[p] == text[p]) ++p;
  if (p > 0 && p < current.size() && IsHigh(current[p - 1]) && IsLow(current[p])) --p;
  edit_->SetSelection(p, current.size());
  edit_->ReplaceSelection(text.substr(p));
  if (edit_->Text() != text) return false;
  Refresh();
  return true;
}

void QuorixTsfDraftBridge::Impl::Refresh() {
  if (awaiting_ && platform::TickCount64() - request_time_ > kCandidateTimeoutMs) {
    CancelComposition();
    SetStatus(u"NO_CANDIDATE_TIMEOUT");
    PrintLine("MVP02C3E_VR_CONVERT=NO_CANDIDATE_TIMEOUT");
    if (EditAlive() && !state_.candidates_present) {
      const uint64_t end = edit_->Text().size();
      edit_->SetSelection(end, end);
    }
  }
  if (EditAlive()) {
    const bool focused = HostVisible() && edit_->HasFocus();
    const std::u16string text = edit_->Text();
    if (text.size() > kDraftLimit) {
      PrintLine("MVP02C3D_NATIVE_READ=INVALID_LENGTH_NO_SYNC");
      return;
    }
    const bool focus_change = focused != (state_.focused != 0);
    const bool text_change = text != state_.draft;
    if (focus_change || text_change) {
      const size_t old_units = state_.draft.size();
      state_.focused = focused ? 1 : 0;
      state_.draft = text;
      ++state_.revision;
      PrintLine(std::string("MVP02C3D_NATIVE_SNAPSHOT focus=") + (focused ? "IN" : "OUT") +
                " focus_change=" + (focus_change ? "1" : "0") + " text_change=" + (text_change ? "1" : "0") +
                " old_units=" + std::to_string(old_units) + " new_units=" + std::to_string(text.size()) +
                " revision=" + std::to_string(state_.revision));
    }
  }
  if (background_pending_ || state_.background_candidates) {
    const bool composing = EditAlive() && edit_->HasComposition();
    if (background_pending_ && (snapshot_ != state_.draft || composing)) {
      CancelComposition();
      SetStatus(u"CANCELED_STALE");
    }
  }
  TakeBackgroundResult();
  if (!state_.focused && Active() && !background_pending_ && !state_.background_candidates) CancelComposition();
}

// ---- VR conversion ----

bool QuorixTsfDraftBridge::Impl::RequestVrConvert(uint64_t start, uint64_t end) {
  if (!vr_enabled_ || !ready_ || host_ == nullptr || edit_ == nullptr || element_ != platform::kNoElement ||
      state_.candidates_present || awaiting_) {
    SetStatus(u"NOT_READY_OR_COMPOSING");
    PrintLine("MVP02C3E_VR_CONVERT=NOT_READY_OR_COMPOSING");
    return false;
  }
  Refresh();
  const std::u16string& draft = state_.draft;
  if (draft.empty() || draft.size() > kDraftLimit) {
    SetStatus(u"NO_KANA");
    PrintLine("MVP02C3E_VR_CONVERT=NO_KANA");
    return false;
  }
  if (end == kToDraftEnd) {
    end = draft.size();
  } else if (end > draft.size() || start > end) {
    SetStatus(u"NO_KANA");
    return false;
  }
  if (!IsUtf16Boundary(draft, static_cast<size_t>(end)) ||
      (start <= draft.size() && !IsUtf16Boundary(draft, static_cast<size_t>(start)))) {
    SetStatus(u"NO_KANA");
    return false;
  }
  uint64_t from = end;
  while (from > 0 && IsKana(draft[static_cast<size_t>(from - 1)])) --from;
  const uint64_t reading_start = std::max<uint64_t>(from, std::min<uint64_t>(draft.size(), start));
  if (reading_start >= end) {
    SetStatus(u"NO_KANA");
    PrintLine("MVP02C3E_VR_CONVERT=NO_KANA");
    return false;
  }
  if (edit_->HasComposition()) {
    SetStatus(u"NOT_READY_OR_COMPOSING");
    return false;
  }
  snapshot_ = draft;
  reading_start_ = reading_start;
  reading_end_ = end;
  const uint64_t id = request_sequence_ + 1;
  const std::u16string reading =
      snapshot_.substr(static_cast<size_t>(reading_start), static_cast<size_t>(end - reading_start));
  if (!PostConversionRequest(id, reading)) {
    snapshot_.clear();
    SetStatus(u"PROVIDER_UNAVAILABLE");
    return false;
  }
  request_sequence_ = id;
  background_pending_ = true;
  awaiting_ = true;
  request_time_ = platform::TickCount64();
  SetStatus(u"BACKGROUND_REQUESTED");
  return true;
}

bool QuorixTsfDraftBridge::Impl::PostConversionRequest(uint64_t id, const std::u16string& reading) {
  if (reading.empty() || reading.size() > kDraftLimit || id == 0 || stop_.load()) return false;
  if (!worker_.joinable()) worker_ = std::thread([this] { RunConversionWorker(); });
  {
    std::lock_guard lock(worker_mutex_);
    request_text_ = reading;
    request_id_ = id;
    result_ready_ = false;
    wake_ = true;
  }
  worker_wake_.notify_one();
  return true;
}

void QuorixTsfDraftBridge::Impl::RunConversionWorker() {
  std::unique_ptr<KanaConversionProvider> provider = factory_ ? factory_() : nullptr;
  while (true) {
    std::u16string text;
    uint64_t id = 0;
    {
      std::unique_lock lock(worker_mutex_);
      worker_wake_.wait(lock, [&] { return wake_ || stop_.load(); });
      if (stop_.load()) break;
      wake_ = false;
      std::swap(text, request_text_);
      id = std::exchange(request_id_, 0);
    }
    if (text.empty() || id == 0) continue;
    ConversionResult result;
    if (provider != nullptr) {
      result = provider->Convert(id, text);
    } else {
      result.request_id = id;
      result.status = kConversionNoEngine;
    }
    std::lock_guard lock(worker_mutex_);
    result_id_ = id;
    result_fields_[0] = result.status;
    result_fields_[1] = result.elapsed_ms;
    result_fields_[2] = static_cast<uint32_t>(result.candidates.size());
    result_fields_[3] = result.dictionary_state;
    result_fields_[4] = result.dictionary_added;
    result_candidates_ = std::move(result.candidates);
    result_ready_ = true;
  }
  provider.reset();  // on this thread
}

void QuorixTsfDraftBridge::Impl::StopConversionWorker() {
  if (stop_.exchange(true) && !worker_.joinable()) return;
  {
    std::lock_guard lock(worker_mutex_);
    wake_ = true;
  }
  worker_wake_.notify_one();
  if (worker_.joinable()) worker_.join();
  std::lock_guard lock(worker_mutex_);
  request_text_.clear();
  request_id_ = 0;
  result_candidates_.clear();
  result_ready_ = false;
}

void QuorixTsfDraftBridge::Impl::TakeBackgroundResult() {
  bool have = false;
  uint64_t id = 0;
  uint32_t fields[5] = {};
  std::vector<std::u16string> candidates;
  {
    std::lock_guard lock(worker_mutex_);
    if (result_ready_) {
      have = true;
      id = result_id_;
      std::copy(std::begin(result_fields_), std::end(result_fields_), fields);
      candidates = std::move(result_candidates_);
      result_candidates_.clear();
      result_ready_ = false;
    }
  }
  if (!have || !background_pending_ || id != request_sequence_) return;  // older ids are dropped
  std::copy(std::begin(fields), std::end(fields), state_.last_stats);
  ++state_.stats_revision;
  awaiting_ = false;
  if (EditAlive() && state_.draft == snapshot_) {
    if (fields[0] == kConversionFound && !candidates.empty()) {
      state_.candidates = std::move(candidates);
      state_.candidates_present = state_.selection_valid = state_.background_candidates = 1;
      state_.selected_index = 0;
      SetStatus(u"BACKGROUND_CANDIDATES");
      ++state_.revision;
    } else {
      background_pending_ = false;
      snapshot_.clear();
      SetStatus(fields[0] == 2   ? u"NO_JAPANESE_PROFILE"
                : fields[0] == 3 ? u"PROVIDER_UNAVAILABLE"
                                 : u"PROVIDER_REJECTED");
    }
  } else {
    CancelComposition();
    SetStatus(u"CANCELED_STALE");
  }
}

// ---- Selection ----

int32_t QuorixTsfDraftBridge::Impl::SelectCandidate(uint32_t index) {
  if (!ready_) return 0;
  if (state_.background_candidates) {
    if (!EditAlive() || index >= state_.candidates.size()) return 0;
    Refresh();
    if (!state_.background_candidates || state_.draft != snapshot_ || index >= state_.candidates.size()) return 0;
    // Copied before the cancel clears them.
    const std::u16string candidate = state_.candidates[index];
    const std::u16string snapshot = snapshot_;
    const uint64_t start = reading_start_;
    const uint64_t end = reading_end_;
    const std::u16string text = snapshot.substr(0, static_cast<size_t>(start)) + candidate +
                                snapshot.substr(static_cast<size_t>(end));
    if (text.size() > kDraftLimit) return 0;
    CancelComposition();
    if (!SyncDraft(text)) {
      SetStatus(u"PROVIDER_REJECTED");
      return 0;
    }
    const uint64_t caret = start + candidate.size();
    edit_->SetSelection(caret, caret);
    SetStatus(u"BACKGROUND_FINALIZED");
    return 1;
  }
  if (!HostVisible() || !EditAlive() || !edit_->HasFocus() || element_ == platform::kNoElement ||
      index >= state_.candidates.size()) {
    return 0;
  }
  if (!services_->HasBehavior(element_)) {
    PrintLine("MVP02C3C_SELECTION=UNSUPPORTED_BEHAVIOR");
    return 0;
  }
  const uint32_t element = element_;
  const bool accepted = services_->SetSelection(element, index) == platform::kTsOk &&
                        services_->Finalize(element) == platform::kTsOk;
  PrintLine(std::string("MVP02C3C_SELECTION=") + (accepted ? "API_ACCEPTED" : "API_REJECTED"));
  if (accepted) Refresh();
  PrintLine("MVP02C3D_POST_FINALIZE draft_units=" + std::to_string(state_.draft.size()) +
            " focus=" + (state_.focused ? "IN" : "OUT"));
  return accepted ? 1 : 0;
}

// ---- The public face ----

QuorixTsfDraftBridge::QuorixTsfDraftBridge(ProviderFactory factory) : impl_(std::make_unique<Impl>(std::move(factory))) {}

QuorixTsfDraftBridge::~QuorixTsfDraftBridge() { impl_->Shutdown(); }

QuorixTsfDraftBridge::ProviderFactory QuorixTsfDraftBridge::DefaultProviderFactory() {
  return [] { return std::make_unique<KanaConversionProvider>(); };
}

bool QuorixTsfDraftBridge::Initialize(platform::DraftHost* host, platform::DraftEdit* edit) {
  return impl_->Initialize(host, edit);
}
void QuorixTsfDraftBridge::Shutdown() { impl_->Shutdown(); }
void QuorixTsfDraftBridge::SetTarget(platform::DraftHost* host, platform::DraftEdit* edit) {
  impl_->SetTarget(host, edit);
}
bool QuorixTsfDraftBridge::SyncDraft(const std::u16string& text) { return impl_->SyncDraft(text); }
void QuorixTsfDraftBridge::CancelComposition() {
  if (impl_->ready()) impl_->CancelComposition();
}
bool QuorixTsfDraftBridge::IsBusy() const { return impl_->IsBusy(); }
int32_t QuorixTsfDraftBridge::SelectCandidate(uint32_t index) { return impl_->SelectCandidate(index); }
const QuorixTsfDraftBridge::State* QuorixTsfDraftBridge::GetState() const { return &impl_->state_; }
void QuorixTsfDraftBridge::Poll() {
  if (impl_->ready()) impl_->Refresh();
}
bool QuorixTsfDraftBridge::RequestVrConvert(uint64_t start, uint64_t end) { return impl_->RequestVrConvert(start, end); }
bool QuorixTsfDraftBridge::IsVrConvertEnabled() const { return impl_->IsVrConvertEnabled(); }
platform::InProcessDraftEdit* QuorixTsfDraftBridge::own_edit() const { return impl_->own_edit_.get(); }
