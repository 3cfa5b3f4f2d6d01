#include "platform/text_services.h"

#include <utility>

namespace platform {

int32_t TextServices::Activate(uint32_t* client_id) {
  if (const int32_t code = Take(TsCall::kActivate); code != kTsOk) return code;
  active_ = true;
  *client_id = next_client_++;
  return kTsOk;
}

int32_t TextServices::AdviseSink(UiElementSink* sink, uint32_t* cookie) {
  if (sink == nullptr) return kTsPointer;
  if (sink_ != nullptr) return kTsFail;  // one sink per thread
  if (const int32_t code = Take(TsCall::kAdvise); code != kTsOk) return code;
  sink->AddRef();
  sink_ = sink;
  cookie_ = *cookie = next_cookie_++;
  return kTsOk;
}

int32_t TextServices::UnadviseSink(uint32_t cookie) {
  if (sink_ == nullptr || cookie != cookie_) return kTsFail;
  UiElementSink* sink = std::exchange(sink_, nullptr);
  cookie_ = kNoCookie;
  sink->Release();
  return kTsOk;
}

const CandidateElement* TextServices::Find(uint32_t id) const {
  const auto it = elements_.find(id);
  return it == elements_.end() ? nullptr : &it->second;
}

int32_t TextServices::GetElement(uint32_t id) {
  if (const int32_t code = Take(TsCall::kGetElement); code != kTsOk) return code;
  const CandidateElement* e = Find(id);
  if (e == nullptr) return kTsFail;
  return e->candidate_list ? kTsOk : kTsNoInterface;
}

int32_t TextServices::GetCount(uint32_t id, uint32_t* count) {
  const CandidateElement* e = Find(id);
  if (e == nullptr || Take(TsCall::kGetCount) != kTsOk) return kTsFail;
  *count = static_cast<uint32_t>(e->strings.size());
  return kTsOk;
}

int32_t TextServices::GetSelection(uint32_t id, uint32_t* index) {
  const CandidateElement* e = Find(id);
  if (e == nullptr || Take(TsCall::kGetSelection) != kTsOk) return kTsFail;
  *index = e->selection;
  return kTsOk;
}

int32_t TextServices::GetString(uint32_t id, uint32_t index, std::u16string* out) {
  const CandidateElement* e = Find(id);
  if (e == nullptr || index >= e->strings.size() || Take(TsCall::kGetString) != kTsOk) return kTsFail;
  *out = e->strings[index];
  return kTsOk;
}

bool TextServices::HasBehavior(uint32_t id) const {
  const CandidateElement* e = Find(id);
  return e != nullptr && e->has_behavior;
}

int32_t TextServices::SetSelection(uint32_t id, uint32_t index) {
  CandidateElement* e = const_cast<CandidateElement*>(Find(id));
  if (e == nullptr || !e->has_behavior) return kTsNoInterface;
  if (index >= e->strings.size() || Take(TsCall::kSetSelection) != kTsOk) return kTsFail;
  e->selection = index;
  return kTsOk;
}

int32_t TextServices::Finalize(uint32_t id) {
  const CandidateElement* e = Find(id);
  if (e == nullptr || !e->has_behavior) return kTsNoInterface;
  if (Take(TsCall::kFinalize) != kTsOk) return kTsFail;
  finalized_ = e->selection;
  EndElement(id);
  return kTsOk;
}

uint32_t TextServices::BeginElement(CandidateElement element, bool* shown) {
  const uint32_t id = next_element_++;
  elements_[id] = std::move(element);
  bool show = true;
  if (sink_ != nullptr) sink_->BeginUIElement(id, &show);
  if (shown != nullptr) *shown = show;
  return id;
}

void TextServices::UpdateElement(uint32_t id, CandidateElement element) {
  if (Find(id) == nullptr) return;
  elements_[id] = std::move(element);
  if (sink_ != nullptr) sink_->UpdateUIElement(id);
}

void TextServices::EndElement(uint32_t id) {
  if (elements_.erase(id) == 0) return;
  if (sink_ != nullptr) sink_->EndUIElement(id);
}

TextServices& CurrentTextServices() {
  thread_local TextServices services;
  return services;
}

}  // namespace platform
