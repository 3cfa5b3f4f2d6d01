#include "platform/audio_endpoints.h"

#include <atomic>
#include <optional>
#include <utility>

#include "platform/pulse_connection.h"
#include "platform/text_encoding.h"

namespace platform {
namespace {

constexpr char16_t kDefaultName[] = u"Active audio device";

// An endpoint as the server reports it, before the active check.
struct RawEndpoint {
  std::string id;
  std::string description;
  bool monitor = false;
  bool unavailable = false;
};

struct EndpointQuery {
  PulseConnection* connection = nullptr;
  std::vector<RawEndpoint> endpoints;
  std::atomic<bool> finished{false};
};

template <typename Info>
void Collect(const Info* info, int eol, void* userdata, bool monitor) {
  auto* query = static_cast<EndpointQuery*>(userdata);
  if (eol != 0) {
    query->finished.store(true);
    query->connection->Notify();
    return;
  }
  if (info == nullptr || info->name == nullptr) return;
  RawEndpoint endpoint;
  endpoint.id = info->name;
  if (info->description != nullptr) endpoint.description = info->description;
  endpoint.monitor = monitor;
  endpoint.unavailable = info->active_port != nullptr && info->active_port->available == PA_PORT_AVAILABLE_NO;
  query->endpoints.push_back(std::move(endpoint));
}

void OnSink(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
  Collect(info, eol, userdata, false);
}

void OnSource(pa_context*, const pa_source_info* info, int eol, void* userdata) {
  Collect(info, eol, userdata, info != nullptr && info->monitor_of_sink != PA_INVALID_INDEX);
}

class PulseAudioEndpoints final : public AudioEndpoints {
 public:
  explicit PulseAudioEndpoints(PulseWaveOutputOptions options) : connection_(std::move(options)) {}

  std::vector<AudioEndpoint> List(AudioFlow flow) override {
    std::vector<AudioEndpoint> list;
    std::optional<std::vector<RawEndpoint>> endpoints = Query(flow, nullptr);
    if (!endpoints) return list;
    for (const RawEndpoint& endpoint : *endpoints) {
      if (endpoint.monitor || endpoint.unavailable) continue;
      AudioEndpoint entry;
      if (!DecodeUtf8(endpoint.id.data(), endpoint.id.size(), &entry.id) || entry.id.empty()) continue;
      if (!DecodeUtf8(endpoint.description.data(), endpoint.description.size(), &entry.name) ||
          entry.name.empty()) {
        entry.name = kDefaultName;
      }
      list.push_back(std::move(entry));
    }
    return list;
  }

  bool IsActive(AudioFlow flow, const std::u16string& id) override {
    if (id.empty()) return false;
    const std::string name = Utf16ToUtf8Lenient(id);
    std::optional<std::vector<RawEndpoint>> endpoints = Query(flow, &name);
    if (!endpoints || endpoints->size() != 1) return false;
    const RawEndpoint& endpoint = endpoints->front();
    return endpoint.id == name && !endpoint.monitor && !endpoint.unavailable;
  }

 private:
  // All endpoints of `flow`, or the one named `name`; none when the server
  // cannot be asked. A missing name gives an empty list.
  std::optional<std::vector<RawEndpoint>> Query(AudioFlow flow, const std::string* name) {
    if (!connection_.EnsureConnected()) return std::nullopt;
    EndpointQuery query;
    query.connection = &connection_;
    const bool finished = connection_.RunOperation(
        [&](pa_context* context) -> pa_operation* {
          if (flow == AudioFlow::kRender) {
            return name != nullptr ? pa_context_get_sink_info_by_name(context, name->c_str(), OnSink, &query)
                                   : pa_context_get_sink_info_list(context, OnSink, &query);
          }
          return name != nullptr ? pa_context_get_source_info_by_name(context, name->c_str(), OnSource, &query)
                                 : pa_context_get_source_info_list(context, OnSource, &query);
        },
        [&query] { return query.finished.load(); });
    if (!finished) return std::nullopt;
    return std::move(query.endpoints);
  }

  PulseConnection connection_;
};

std::function<std::unique_ptr<AudioEndpoints>()>& Factory() {
  static std::function<std::unique_ptr<AudioEndpoints>()> factory;
  return factory;
}

std::unique_ptr<AudioEndpoints>& ProcessSource() {
  static std::unique_ptr<AudioEndpoints> source;
  return source;
}

}  // namespace

AudioEndpoints& ProcessAudioEndpoints() {
  std::unique_ptr<AudioEndpoints>& source = ProcessSource();
  if (source == nullptr) {
    source = Factory() ? Factory()() : nullptr;
    if (source == nullptr) source = MakePulseAudioEndpoints();
  }
  return *source;
}

void SetAudioEndpointsFactory(std::function<std::unique_ptr<AudioEndpoints>()> factory) {
  ProcessSource().reset();
  Factory() = std::move(factory);
}

std::unique_ptr<AudioEndpoints> MakePulseAudioEndpoints(PulseWaveOutputOptions options) {
  return std::make_unique<PulseAudioEndpoints>(std::move(options));
}

}  // namespace platform
