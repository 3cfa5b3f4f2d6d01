// Convert through Anthy on readings of 4, 12 and 24 kana beside a bare loop
// making the same Anthy calls, and the provider's own cost over an engine
// that answers at once.
#include <anthy/anthy.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kana_kanji_engine.h"
#include "platform/text_encoding.h"
#include "text_input/kana_conversion.h"

namespace {

const std::u16string kReadings[] = {u"こうえん", u"きょうはいいてんきですね", u"あしたのあさはこうえんでともだちとあそびますよね"};

const std::u16string& ReadingOf(int64_t kana) {
  return kana <= 4 ? kReadings[0] : kana <= 12 ? kReadings[1] : kReadings[2];
}

void Percentiles(benchmark::State& state, std::vector<double>& ms) {
  if (ms.empty()) return;
  std::sort(ms.begin(), ms.end());
  state.counters["p95_ms"] = ms[ms.size() * 95 / 100];
  state.counters["kana"] = static_cast<double>(state.range(0));
}

template <typename F>
void Timed(benchmark::State& state, F run) {
  std::vector<double> ms;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    run();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  Percentiles(state, ms);
}

void BM_ConvertAnthy(benchmark::State& state) {
  KanaConversionProvider provider(platform::MakeAnthyEngine, "/nonexistent/homophones.bin");
  const std::u16string& reading = ReadingOf(state.range(0));
  Timed(state, [&] { benchmark::DoNotOptimize(provider.Convert(1, reading)); });
}

// Both modes straight on Anthy: every segment's candidates as the engine
// walks them (at most 126 answers a mode), then one segment widened over
// the whole reading and its candidates.
void BareAnthy(const std::string& utf8) {
  static std::once_flag once;
  std::call_once(once, [] { anthy_init(); });
  std::string buf(4096, '\0');
  anthy_context_t ac = anthy_create_context();
  anthy_context_set_encoding(ac, ANTHY_UTF8_ENCODING);
  anthy_set_string(ac, utf8.c_str());
  anthy_conv_stat stat{};
  anthy_get_stat(ac, &stat);
  std::vector<int> counts;
  for (int s = 0; s < stat.nr_segment; ++s) {
    anthy_segment_stat ss{};
    anthy_get_segment_stat(ac, s, &ss);
    counts.push_back(ss.nr_candidate);
    anthy_get_segment(ac, s, NTH_UNCONVERTED_CANDIDATE, buf.data(), 4096);
  }
  int answers = 0;
  for (int moving = -1; moving < stat.nr_segment && answers < 126; ++moving) {
    for (int c = moving < 0 ? 0 : 1; c < (moving < 0 ? 1 : counts[static_cast<size_t>(moving)]) && answers < 126;
         ++c, ++answers) {
      for (int s = 0; s < stat.nr_segment; ++s) anthy_get_segment(ac, s, s == moving ? c : 0, buf.data(), 4096);
    }
  }
  anthy_release_context(ac);
  ac = anthy_create_context();
  anthy_context_set_encoding(ac, ANTHY_UTF8_ENCODING);
  anthy_set_string(ac, utf8.c_str());
  anthy_get_stat(ac, &stat);
  while (stat.nr_segment > 1) {
    anthy_resize_segment(ac, 0, 1);
    anthy_get_stat(ac, &stat);
  }
  anthy_segment_stat ss{};
  anthy_get_segment_stat(ac, 0, &ss);
  for (int c = 0; c < std::min(ss.nr_candidate, 126); ++c) anthy_get_segment(ac, 0, c, buf.data(), 4096);
  anthy_release_context(ac);
}

void BM_BareAnthy(benchmark::State& state) {
  const std::string utf8 = platform::Utf16ToUtf8Lenient(ReadingOf(state.range(0)));
  Timed(state, [&] { BareAnthy(utf8); });
}

// An engine that answers at once: ten answers a mode, three clauses each.
class InstantEngine final : public platform::KanaKanjiEngine {
 public:
  int32_t Initialize() override { return platform::kConvOk; }
  int32_t Open() override { return platform::kConvOk; }
  int32_t Next(uint32_t, const std::u16string* reading, uint64_t, std::optional<platform::EngineAnswer>* a) override {
    if (reading != nullptr) n_ = 0;
    if (n_ >= 10) return platform::kConvNoMore;
    platform::EngineAnswer out;
    out.output = u"道を行く" + std::u16string(1, static_cast<char16_t>(u'0' + n_++));
    out.reading_echo = u"みちをいく";
    out.descriptors = {{0, 2, 0, 1}, {2, 1, 1, 1}, {3, 2, 2, 3}};
    out.declared_size = platform::DeclaredAnswerSize(out);
    *a = std::move(out);
    return platform::kConvOk;
  }
  void Close() override {}

 private:
  int n_ = 0;
};

void BM_ProviderOwnCost(benchmark::State& state) {
  KanaConversionProvider provider([] { return std::make_unique<InstantEngine>(); }, "/nonexistent/homophones.bin");
  for (auto _ : state) benchmark::DoNotOptimize(provider.Convert(1, u"みちをいく"));
}

BENCHMARK(BM_ConvertAnthy)->Arg(4)->Arg(12)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareAnthy)->Arg(4)->Arg(12)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProviderOwnCost)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
