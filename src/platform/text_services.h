#pragma once
// The input method's text services for one thread: activation with a client
// id, one advised sink for user-interface elements, and the candidate-list
// elements the input method raises (count, selection, strings, and the
// behaviour that selects and finalises). Linux input-method contexts give
// preedit and commit text but never the candidate list, so nothing here is
// raised by the desktop: tests and self-checks raise elements themselves, and
// conversion on the VR keyboard goes through KanaKanjiEngine instead.
// Every call can be made to fail (FailNext) so its caller's refusal paths run.
// One instance per thread (CurrentTextServices); not thread-safe.
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform {

inline constexpr int32_t kTsOk = 0;
inline constexpr int32_t kTsFail = static_cast<int32_t>(0x80004005u);  // E_FAIL
inline constexpr int32_t kTsNoInterface = static_cast<int32_t>(0x80004002u);  // E_NOINTERFACE
inline constexpr int32_t kTsPointer = static_cast<int32_t>(0x80004003u);  // E_POINTER
inline constexpr uint32_t kNoElement = ~0u;
inline constexpr uint32_t kNoCookie = ~0u;

// What a sink answers QueryInterface for.
enum class SinkInterface { kUnknown, kUiElementSink, kOther };

// Receives the input method's element notifications; reference counted like
// the COM object it stands for.
class UiElementSink {
 public:
  virtual int32_t QueryInterface(SinkInterface which, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;
  virtual int32_t BeginUIElement(uint32_t id, bool* show) = 0;
  virtual int32_t UpdateUIElement(uint32_t id) = 0;
  virtual int32_t EndUIElement(uint32_t id) = 0;

 protected:
  virtual ~UiElementSink() = default;
};

// The calls that can be made to fail.
enum class TsCall {
  kInitializeApartment,
  kLoadRichEdit,
  kActivate,
  kAdvise,
  kGetElement,
  kGetCount,
  kGetSelection,
  kGetString,
  kSetSelection,
  kFinalize,
};

// One element as the input method shows it.
struct CandidateElement {
  bool candidate_list = true;  // false: some other element (a tooltip, a mode bar)
  bool has_behavior = true;    // false: the list cannot be driven (SetSelection, Finalize)
  std::vector<std::u16string> strings;
  uint32_t selection = 0;
};

class TextServices {
 public:
  // Apartment set-up and the edit control's library: nothing to do here.
  int32_t InitializeApartment() { return Take(TsCall::kInitializeApartment); }
  int32_t LoadRichEdit() { return Take(TsCall::kLoadRichEdit); }

  int32_t Activate(uint32_t* client_id);
  void Deactivate() { active_ = false; }
  int32_t AdviseSink(UiElementSink* sink, uint32_t* cookie);
  int32_t UnadviseSink(uint32_t cookie);

  // Element access, by id. kTsNoInterface for an element that is not a
  // candidate list (GetElement) or has no behaviour (SetSelection, Finalize).
  int32_t GetElement(uint32_t id);
  int32_t GetCount(uint32_t id, uint32_t* count);
  int32_t GetSelection(uint32_t id, uint32_t* index);
  int32_t GetString(uint32_t id, uint32_t index, std::u16string* out);
  bool HasBehavior(uint32_t id) const;
  int32_t SetSelection(uint32_t id, uint32_t index);
  int32_t Finalize(uint32_t id);  // the element ends

  // Raising elements, as the input method would. Begin returns the new
  // element's id and what the sink answered for showing it.
  uint32_t BeginElement(CandidateElement element, bool* shown = nullptr);
  void UpdateElement(uint32_t id, CandidateElement element);
  void EndElement(uint32_t id);

  // The index the last Finalize chose, or nothing.
  std::optional<uint32_t> finalized() const { return finalized_; }
  bool active() const { return active_; }
  bool advised() const { return sink_ != nullptr; }

  // Makes the next call of `call` fail (kTsFail).
  void FailNext(TsCall call) { failing_.insert(call); }

 private:
  int32_t Take(TsCall call) { return failing_.erase(call) ? kTsFail : kTsOk; }
  const CandidateElement* Find(uint32_t id) const;

  std::set<TsCall> failing_;
  bool active_ = false;
  uint32_t next_client_ = 1;
  UiElementSink* sink_ = nullptr;
  uint32_t cookie_ = kNoCookie;
  uint32_t next_cookie_ = 0x100;
  uint32_t next_element_ = 1;
  std::map<uint32_t, CandidateElement> elements_;
  std::optional<uint32_t> finalized_;
};

// The calling thread's text services.
TextServices& CurrentTextServices();

}  // namespace platform
