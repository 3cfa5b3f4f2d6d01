#pragma once
// The bridge between the phone's chat draft and the input method. It keeps a
// draft edit whose text mirrors the phone's message field, watches the input
// method's candidate list (so its candidates are shown and chosen on the VR
// keyboard), and offers VR conversion: the kana at the end of the draft go to
// a worker thread running KanaConversionProvider, whose candidates replace
// exactly that reading when one is selected.
//
// Every public call, the sink callbacks and the edit's notifications run on
// the thread that initialised the bridge. The worker shares only the request
// and result fields (one mutex), the stop flag and the wake-up flag; results
// carry the request id, so stale ones are dropped. Every refusal is a false
// or 0 result and a status name; several steps also print one line on
// standard output (never draft or candidate text).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/draft_edit.h"
#include "text_input/kana_conversion.h"

class QuorixTsfDraftBridge {
 public:
  struct State {
    uint8_t focused = 0;                // the host was visible and the edit focused at the last refresh
    uint8_t candidates_present = 0;     // `candidates` is current
    uint8_t selection_valid = 0;        // `selected_index` is meaningful
    uint8_t background_candidates = 0;  // from VR conversion, not the input method's list
    uint32_t selected_index = 0;
    std::u16string draft;  // as last read (at most 1000 units)
    std::vector<std::u16string> candidates;
    uint64_t revision = 0;  // moves on every change a renderer must see
    uint32_t vr_conversion_enabled = 0;
    uint32_t status_code = 0;  // 0 none, else the status name's row (1..17)
    // Result status, elapsed ms, candidate count, dictionary state and
    // dictionary-added count of the last applied conversion result.
    uint32_t last_stats[5] = {};
    uint64_t stats_revision = 0;
    std::u16string status_name;
  };

  // Makes the worker's provider, on the worker thread.
  using ProviderFactory = std::function<std::unique_ptr<KanaConversionProvider>()>;

  // Requests of more than 8 s without candidates time out.
  static constexpr uint64_t kCandidateTimeoutMs = 8000;
  static constexpr size_t kDraftLimit = 1000;
  static constexpr uint32_t kMaxImeCandidates = 90;
  static constexpr size_t kImeCandidateUnits = 48;
  static constexpr uint64_t kToDraftEnd = ~uint64_t{0};

  explicit QuorixTsfDraftBridge(ProviderFactory factory = DefaultProviderFactory());
  QuorixTsfDraftBridge(const QuorixTsfDraftBridge&) = delete;
  QuorixTsfDraftBridge& operator=(const QuorixTsfDraftBridge&) = delete;
  ~QuorixTsfDraftBridge();

  static ProviderFactory DefaultProviderFactory();

  // A host binds the bridge to that host and edit (VR conversion on); no host
  // is the own-window mode: an in-process edit of 1000 units, VR conversion
  // only when QUORIXPHONE_TSF_C3E is exactly "1".
  bool Initialize(platform::DraftHost* host, platform::DraftEdit* edit);
  void Shutdown();
  void SetTarget(platform::DraftHost* host, platform::DraftEdit* edit);
  bool SyncDraft(const std::u16string& text);
  void CancelComposition();
  bool IsBusy() const;
  int32_t SelectCandidate(uint32_t index);
  const State* GetState() const;
  void Poll();
  // Converts the kana before `end` (kToDraftEnd: the end of the draft), not
  // reaching back before `start`.
  bool RequestVrConvert(uint64_t start, uint64_t end);
  bool IsVrConvertEnabled() const;

  // The own-window mode's edit (null in bound mode), for whoever drives it.
  platform::InProcessDraftEdit* own_edit() const;

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The status names, by code 1..17.
extern const char16_t* const kTsfStatusNames[17];
