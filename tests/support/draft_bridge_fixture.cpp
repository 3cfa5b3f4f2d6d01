#include "support/draft_bridge_fixture.h"

#include <chrono>
#include <utility>

namespace quorix_test {

std::vector<homophone_format::Entry> SampleHomophones() {
  return {{"こうえん", {"公園", "講演", "公演", "後援"}}, {"はし", {"橋", "箸", "端"}}, {"きしゃ", {"記者", "汽車", "貴社"}}};
}

BoundDraftBridge::BoundDraftBridge(std::vector<homophone_format::Entry> dictionary,
                                   std::shared_ptr<EngineScript> engine_script)
    : dictionary_path(dir.path() / "homophones.bin"), script(std::move(engine_script)) {
  WriteFile(dictionary_path, homophone_format::BuildFile(std::move(dictionary)));
  KanaKanjiEngineFactory engines = ScriptedEngineFactory(script);
  const std::filesystem::path path = dictionary_path;
  bridge = std::make_unique<QuorixTsfDraftBridge>(
      [engines, path] { return std::make_unique<KanaConversionProvider>(engines, path); });
  bridge->Initialize(&edit, &edit);
}

BoundDraftBridge::~BoundDraftBridge() {
  script->Release();
  bridge.reset();
}

void BoundDraftBridge::Type(const std::u16string& text) {
  edit.text += text;
  edit.SetSelection(edit.text.size(), edit.text.size());
  bridge->Poll();
}

bool BoundDraftBridge::PollUntil(const std::function<bool(const QuorixTsfDraftBridge::State&)>& done) {
  return WaitFor(
      [&] {
        bridge->Poll();
        return done(*bridge->GetState());
      },
      std::chrono::seconds(60));
}

bool BoundDraftBridge::PollUntilStatus(const std::u16string& name) {
  return PollUntil([&](const QuorixTsfDraftBridge::State& s) { return s.status_name == name; });
}

uint32_t ImeCandidateDriver::Begin(std::vector<std::u16string> strings, bool has_behavior, bool* shown) {
  platform::CandidateElement e;
  e.strings = std::move(strings);
  e.has_behavior = has_behavior;
  return services().BeginElement(std::move(e), shown);
}

void ImeCandidateDriver::Update(uint32_t id, std::vector<std::u16string> strings) {
  platform::CandidateElement e;
  e.strings = std::move(strings);
  services().UpdateElement(id, std::move(e));
}

void ImeCandidateDriver::End(uint32_t id) { services().EndElement(id); }

}  // namespace quorix_test
