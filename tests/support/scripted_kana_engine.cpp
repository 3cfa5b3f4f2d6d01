#include "support/scripted_kana_engine.h"

#include <chrono>
#include <utility>

namespace quorix_test {

platform::EngineAnswer MakeAnswer(std::u16string output, std::u16string echo,
                                  std::vector<platform::ConversionDescriptor> descriptors) {
  platform::EngineAnswer a;
  a.output = std::move(output);
  a.reading_echo = std::move(echo);
  a.descriptors = std::move(descriptors);
  a.declared_size = platform::DeclaredAnswerSize(a);
  return a;
}

void EngineScript::Hold() {
  std::lock_guard lock(mutex_);
  holding_ = true;
}

void EngineScript::Release() {
  {
    std::lock_guard lock(mutex_);
    holding_ = false;
  }
  changed_.notify_all();
}

bool EngineScript::WaitUntilHeld() {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(60), [&] { return waiting_ > 0; });
}

int EngineScript::made() const {
  std::lock_guard lock(mutex_);
  return made_;
}
int EngineScript::next_calls(uint32_t mode) const {
  std::lock_guard lock(mutex_);
  const auto it = next_calls_.find(mode);
  return it == next_calls_.end() ? 0 : it->second;
}
int EngineScript::initialize_calls() const {
  std::lock_guard lock(mutex_);
  return initialize_calls_;
}
int EngineScript::open_calls() const {
  std::lock_guard lock(mutex_);
  return open_calls_;
}
std::u16string EngineScript::last_reading() const {
  std::lock_guard lock(mutex_);
  return last_reading_;
}
int EngineScript::close_calls() const {
  std::lock_guard lock(mutex_);
  return close_calls_;
}

class ScriptedEngine final : public platform::KanaKanjiEngine {
 public:
  explicit ScriptedEngine(std::shared_ptr<EngineScript> script) : script_(std::move(script)) {
    std::lock_guard lock(script_->mutex_);
    ++script_->made_;
  }

  int32_t Initialize() override {
    std::lock_guard lock(script_->mutex_);
    ++script_->initialize_calls_;
    return script_->initialize_code;
  }
  int32_t Open() override {
    std::lock_guard lock(script_->mutex_);
    ++script_->open_calls_;
    return script_->open_code;
  }
  int32_t Next(uint32_t mode, const std::u16string* reading, uint64_t,
               std::optional<platform::EngineAnswer>* answer) override {
    std::unique_lock lock(script_->mutex_);
    ++script_->waiting_;
    script_->changed_.notify_all();
    script_->changed_.wait(lock, [&] { return !script_->holding_; });
    --script_->waiting_;
    ++script_->next_calls_[mode];
    if (reading != nullptr) {
      call_in_mode_[mode] = 0;
      script_->last_reading_ = *reading;
    }
    const int call = call_in_mode_[mode]++;
    if (script_->clock != nullptr) script_->clock->Advance(script_->cost_ms);
    const std::vector<ScriptedCall>& calls = script_->calls[mode];
    if (call >= static_cast<int>(calls.size())) {
      answer->reset();
      return platform::kConvNoMore;
    }
    *answer = calls[static_cast<size_t>(call)].answer;
    return calls[static_cast<size_t>(call)].code;
  }
  void Close() override {
    std::lock_guard lock(script_->mutex_);
    ++script_->close_calls_;
  }

 private:
  std::shared_ptr<EngineScript> script_;
  std::map<uint32_t, int> call_in_mode_;
};

KanaKanjiEngineFactory ScriptedEngineFactory(std::shared_ptr<EngineScript> script) {
  return [script]() -> std::unique_ptr<platform::KanaKanjiEngine> { return std::make_unique<ScriptedEngine>(script); };
}

KanaKanjiEngineFactory NoEngineFactory() {
  return [] { return std::unique_ptr<platform::KanaKanjiEngine>(); };
}

}  // namespace quorix_test
