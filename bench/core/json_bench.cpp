// Parse throughput of the JSON reader on service-shaped documents: an inbox
// page of 100 messages, a page near the 1 MiB limit and a thousand small
// replies. Compared with the reader built without its limits, RapidJSON with
// UTF-8 validation and nlohmann::json. Before timing, every parser must accept
// every document and agree on what it read.
#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "core/json.h"
#include "core/json_reader.h"

namespace {

// The same reader with no limits at all, for measuring what they cost.
struct UnboundedPolicy {
  static constexpr bool kBounded = false;
};

bool ParseJsonUnbounded(const std::string& text, JsonValue& out) {
  return ParseJsonWithPolicy<UnboundedPolicy>(text, out);
}

// ---- Documents ----------------------------------------------------------

const char* const kWords[] = {
    "こんにちは", "今日は", "天気", "がいい", "ですね", "明日", "会議", "の資料", "を送ります", "ありがとう",
    "よろしく", "お願いします", "電話", "して", "ください", "駅", "で待って", "います", "少し", "遅れます",
    "了解", "です", "東京", "ラーメン", "食べたい", "週末", "映画", "見に行こう", "猫", "かわいい",
};
const char* const kEmoji[] = {"\xF0\x9F\x98\x80", "\xF0\x9F\x91\x8D", "\xF0\x9F\x8E\x89", "\xE2\x9D\xA4"};

class DocumentMaker {
 public:
  explicit DocumentMaker(uint64_t seed) : random_(seed) {}

  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  std::string Id(const char* prefix, int hex_digits) {
    static const char kHex[] = "0123456789abcdef";
    std::string id = prefix;
    for (int i = 0; i < hex_digits; ++i) id += kHex[Pick(0, 15)];
    return id;
  }

  // A JSON string literal of 100-150 Japanese characters, with some emoji,
  // escaped line feeds and escaped quotes.
  std::string MessageText() {
    std::string text = "\"";
    const int wanted = Pick(100, 150);
    int characters = 0;
    while (characters < wanted) {
      const int roll = Pick(0, 19);
      if (roll == 0) {
        text += kEmoji[Pick(0, 3)];
        ++characters;
      } else if (roll == 1) {
        text += "\\u000a";
        ++characters;
      } else if (roll == 2) {
        text += "\\\"";
        ++characters;
      } else {
        const std::string word = kWords[Pick(0, 29)];
        text += word;
        characters += static_cast<int>(word.size() / 3);
      }
    }
    return text + "\"";
  }

  std::string Message(const std::string& self, const std::string& peer, double* created_at) {
    *created_at = 1733000000000.0 + Pick(0, 999999999) + Pick(0, 999) / 1000.0;
    char time[40];
    std::snprintf(time, sizeof time, "%.17g", *created_at);
    const bool outgoing = Pick(0, 1) == 1;
    std::string m = "{\"message_id\":\"" + Id("m", 24) + "\",\"sender_id\":\"" + (outgoing ? self : peer) +
                    "\",\"receiver_id\":\"" + (outgoing ? peer : self) + "\",\"message\":" + MessageText() +
                    ",\"created_at\":" + time + ",\"sequence\":\"" + std::to_string(Pick(1, 99999999)) +
                    "\",\"client_message_id\":\"" + (outgoing ? Id("c", 32) : "") + "\",\"is_read\":" +
                    (Pick(0, 1) ? "true" : "false") + ",\"expired\":false}";
    return m;
  }

  // An inbox reply with `count` messages, or as many as fit under `max_bytes`.
  std::string InboxPage(int count, size_t max_bytes) {
    const std::string self = Id("u", 16);
    const std::string head = "{\"ok\":true,\"connection_id\":\"" + Id("k", 16) + "\",\"user_id\":\"" + self +
                             "\",\"stream_id\":\"" + Id("s", 12) + "\",\"next_cursor\":\"" +
                             std::to_string(Pick(1000, 99999)) + "\",\"messages\":[";
    const std::string tail = "],\"ack_token\":\"" + Id("a", 40) + "\",\"has_more\":true}";
    std::string body;
    std::vector<std::string> peers;
    for (int i = 0; i < 8; ++i) peers.push_back(Id("u", 16));
    for (int i = 0; i < count; ++i) {
      double created_at;
      const std::string m = Message(self, peers[static_cast<size_t>(Pick(0, 7))], &created_at);
      if (head.size() + body.size() + m.size() + 1 + tail.size() > max_bytes) break;
      if (!body.empty()) body += ",";
      body += m;
    }
    return head + body + tail;
  }

  // Acknowledgements, presence and call events, errors with a Japanese detail.
  std::string SmallReply() {
    switch (Pick(0, 3)) {
      case 0: {
        std::string ids;
        const int n = Pick(0, 6);
        for (int i = 0; i < n; ++i) ids += (i ? ",\"" : "\"") + Id("m", 24) + "\"";
        return "{\"ok\":true,\"message_ids\":[" + ids + "]}";
      }
      case 1:
        return "{\"type\":\"presence\",\"user_id\":\"" + Id("u", 16) + "\",\"online\":" +
               (Pick(0, 1) ? "true" : "false") + ",\"at\":" + std::to_string(1733000000 + Pick(0, 999999)) + "}";
      case 2:
        return "{\"event\":\"call_state\",\"call_id\":\"" + Id("c", 20) + "\",\"state\":\"" +
               (Pick(0, 1) ? "ringing" : "connected") + "\",\"peer\":\"" + Id("u", 16) +
               "\",\"muted\":false,\"level\":0." + std::to_string(Pick(0, 99)) + "}";
      default: {
        std::string detail;
        const int words = Pick(0, 12);
        for (int i = 0; i < words; ++i) detail += kWords[Pick(0, 29)];
        return "{\"ok\":false,\"error\":\"rate_limited\",\"detail\":\"" + detail + "\"}";
      }
    }
  }

 private:
  std::mt19937_64 random_;
};

struct DocumentSet {
  const char* name;
  std::vector<std::string> documents;
  size_t bytes = 0;
};

// ---- What each parser read -----------------------------------------------

// Compared between parsers: values, string bytes (keys included), messages
// and the sum of their created_at in document order.
struct Summary {
  uint64_t values = 0;
  uint64_t string_bytes = 0;
  uint64_t messages = 0;
  double created_at_sum = 0.0;
};

void Walk(const JsonValue& v, Summary& s) {
  ++s.values;
  if (v.type == JsonType::String) s.string_bytes += v.text.size();
  for (const JsonValue& item : v.items) Walk(item, s);
  for (const auto& [key, member] : v.members) {
    s.string_bytes += key.size();
    Walk(member, s);
  }
}

void Walk(const rapidjson::Value& v, Summary& s) {
  ++s.values;
  if (v.IsString()) s.string_bytes += v.GetStringLength();
  if (v.IsArray()) {
    for (const auto& item : v.GetArray()) Walk(item, s);
  }
  if (v.IsObject()) {
    for (const auto& member : v.GetObject()) {
      s.string_bytes += member.name.GetStringLength();
      Walk(member.value, s);
    }
  }
}

void Walk(const nlohmann::json& v, Summary& s) {
  ++s.values;
  if (v.is_string()) s.string_bytes += v.get_ref<const std::string&>().size();
  if (v.is_array()) {
    for (const auto& item : v) Walk(item, s);
  }
  if (v.is_object()) {
    for (const auto& [key, member] : v.items()) {
      s.string_bytes += key.size();
      Walk(member, s);
    }
  }
}

bool SummarizeOurs(const std::string& text, Summary& s, bool (*parse)(const std::string&, JsonValue&)) {
  JsonValue v;
  if (!parse(text, v)) return false;
  Walk(v, s);
  if (const JsonValue* messages = v.Find("messages")) {
    for (const JsonValue& m : messages->items) {
      ++s.messages;
      s.created_at_sum += m.Find("created_at")->number;
    }
  }
  return true;
}

bool SummarizeRapid(const std::string& text, Summary& s) {
  rapidjson::Document d;
  d.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
  if (d.HasParseError()) return false;
  Walk(d, s);
  if (d.IsObject() && d.HasMember("messages")) {
    for (const auto& m : d["messages"].GetArray()) {
      ++s.messages;
      s.created_at_sum += m["created_at"].GetDouble();
    }
  }
  return true;
}

bool SummarizeNlohmann(const std::string& text, Summary& s) {
  const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
  if (j.is_discarded()) return false;
  Walk(j, s);
  if (j.is_object() && j.contains("messages")) {
    for (const auto& m : j["messages"]) {
      ++s.messages;
      s.created_at_sum += m["created_at"].get<double>();
    }
  }
  return true;
}

bool SameSummary(const Summary& a, const Summary& b) {
  // RapidJSON's default number reading may be off in the last bits.
  const double tolerance = 1e-12 * std::fabs(a.created_at_sum);
  return a.values == b.values && a.string_bytes == b.string_bytes && a.messages == b.messages &&
         std::fabs(a.created_at_sum - b.created_at_sum) <= tolerance;
}

bool CheckAgreement(const DocumentSet& set) {
  Summary ours, unbounded, rapid, nl;
  for (const std::string& doc : set.documents) {
    if (!SummarizeOurs(doc, ours, ParseJson) || !SummarizeOurs(doc, unbounded, ParseJsonUnbounded) ||
        !SummarizeRapid(doc, rapid) || !SummarizeNlohmann(doc, nl)) {
      std::fprintf(stderr, "%s: a parser refused a document\n", set.name);
      return false;
    }
  }
  if (!SameSummary(ours, unbounded) || !SameSummary(ours, rapid) || !SameSummary(ours, nl)) {
    std::fprintf(stderr, "%s: the parsers disagree\n", set.name);
    return false;
  }
  std::fprintf(stderr, "%s: %zu documents, %zu bytes, %llu values, %llu messages: all agree\n", set.name,
               set.documents.size(), set.bytes, static_cast<unsigned long long>(ours.values),
               static_cast<unsigned long long>(ours.messages));
  return true;
}

// ---- Timing ----------------------------------------------------------------

template <class Parse>
void RunSet(benchmark::State& state, const DocumentSet* set, Parse parse) {
  for (auto _ : state) {
    for (const std::string& doc : set->documents) {
      const bool ok = parse(doc);
      benchmark::DoNotOptimize(ok);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(set->bytes));
}

void RegisterSet(const DocumentSet& set) {
  const std::string name = set.name;
  benchmark::RegisterBenchmark((name + "/ParseJson").c_str(), [&set](benchmark::State& state) {
    RunSet(state, &set, [](const std::string& doc) {
      JsonValue v;
      return ParseJson(doc, v);
    });
  });
  benchmark::RegisterBenchmark((name + "/ParseJsonUnbounded").c_str(), [&set](benchmark::State& state) {
    RunSet(state, &set, [](const std::string& doc) {
      JsonValue v;
      return ParseJsonUnbounded(doc, v);
    });
  });
  benchmark::RegisterBenchmark((name + "/RapidJsonValidating").c_str(), [&set](benchmark::State& state) {
    RunSet(state, &set, [](const std::string& doc) {
      rapidjson::Document d;
      d.Parse<rapidjson::kParseValidateEncodingFlag>(doc.data(), doc.size());
      return !d.HasParseError();
    });
  });
  benchmark::RegisterBenchmark((name + "/Nlohmann").c_str(), [&set](benchmark::State& state) {
    RunSet(state, &set, [](const std::string& doc) {
      const nlohmann::json j = nlohmann::json::parse(doc, nullptr, false);
      return !j.is_discarded();
    });
  });
}

}  // namespace

int main(int argc, char** argv) {
  DocumentMaker maker(0x5eed2026);
  static DocumentSet sets[3] = {{"InboxPage100", {}}, {"InboxPage1MiB", {}}, {"SmallReplies", {}}};
  sets[0].documents.push_back(maker.InboxPage(100, SIZE_MAX));
  sets[1].documents.push_back(maker.InboxPage(100000, 1048576));
  for (int i = 0; i < 1000; ++i) sets[2].documents.push_back(maker.SmallReply());
  for (DocumentSet& set : sets) {
    for (const std::string& doc : set.documents) set.bytes += doc.size();
    if (!CheckAgreement(set)) return 1;
    RegisterSet(set);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
