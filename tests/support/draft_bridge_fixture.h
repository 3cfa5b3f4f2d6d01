#pragma once
// A ready draft bridge bound to an in-process edit, converting with a
// scripted engine and a temporary dictionary; and a driver that raises the
// input method's candidate elements on the calling thread.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/draft_edit.h"
#include "platform/text_services.h"
#include "support/scripted_kana_engine.h"
#include "support/test_util.h"
#include "text_input/homophone_format.h"
#include "text_input/tsf_draft_bridge.h"

namespace quorix_test {

// こうえん, はし and きしゃ with their homophones.
std::vector<homophone_format::Entry> SampleHomophones();

class BoundDraftBridge {
 public:
  explicit BoundDraftBridge(std::vector<homophone_format::Entry> dictionary = SampleHomophones(),
                            std::shared_ptr<EngineScript> script = std::make_shared<EngineScript>());
  ~BoundDraftBridge();

  // Types `text` into the edit (as the user would) and polls once.
  void Type(const std::u16string& text);
  // Polls until `done` holds for the state (bounded, generous).
  bool PollUntil(const std::function<bool(const QuorixTsfDraftBridge::State&)>& done);
  bool PollUntilStatus(const std::u16string& name);
  const QuorixTsfDraftBridge::State& state() const { return *bridge->GetState(); }

  TempDir dir;
  std::filesystem::path dictionary_path;
  std::shared_ptr<EngineScript> script;
  platform::InProcessDraftEdit edit;
  std::unique_ptr<QuorixTsfDraftBridge> bridge;
};

// Raises candidate-list elements as the input method would.
class ImeCandidateDriver {
 public:
  uint32_t Begin(std::vector<std::u16string> strings, bool has_behavior = true, bool* shown = nullptr);
  void Update(uint32_t id, std::vector<std::u16string> strings);
  void End(uint32_t id);
  platform::TextServices& services() { return platform::CurrentTextServices(); }
};

}  // namespace quorix_test
