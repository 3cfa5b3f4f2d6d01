#pragma once
// Our interface to a VR runtime: the connection (`Runtime`, `System`), the
// overlays, the input actions, the application registry and the GPU device
// that fills overlay textures.
//
// Contract shared by every call: an error-code result is 0 on success, and
// out-values are written only on success. Main thread only; nothing is locked.
// Interfaces handed out by one connection stay callable after it ends (their
// calls then fail) until the runtime object itself is destroyed.
//
// Backends: the none backend (the default: the server is looked for, but can
// never be connected to) and the simulated runtime (src/vr/sim), which tests
// drive and which a folder can point at a server process.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace platform::vr {

// A pose or placement: 3 rows × 4 columns, row-major, metres.
using Matrix34 = std::array<std::array<float, 4>, 3>;

// Application types for Init.
constexpr int32_t kAppTypeOverlay = 2;
constexpr int32_t kAppTypeBackground = 3;

// Init errors. 105: the system interface is not offered. The others are ours.
constexpr int32_t kInitErrorInterfaceNotFound = 105;
constexpr int32_t kInitErrorNoBackend = 9001;       // the none backend
constexpr int32_t kInitErrorNoServer = 9002;        // no server process
constexpr int32_t kInitErrorAlreadyConnected = 9003;  // one connection at a time

// Errors of the other calls (ours).
constexpr int32_t kErrorNotConnected = 1;  // the connection that handed out the interface is gone
constexpr int32_t kErrorInvalidHandle = 2;
constexpr int32_t kErrorKeyInUse = 3;
constexpr int32_t kErrorInvalidArgument = 4;
constexpr int32_t kErrorUnknownName = 5;  // an action or set the manifest does not declare
constexpr int32_t kErrorWrongType = 6;    // an action read as another type
constexpr int32_t kErrorFile = 7;         // a manifest unreadable or malformed
constexpr int32_t kErrorBufferTooSmall = 8;
constexpr int32_t kErrorUnknownApplication = 9;
constexpr int32_t kErrorDevice = 10;

constexpr uint32_t kEventQuit = 700;
constexpr int32_t kTrackingRunningOk = 200;
constexpr int32_t kOriginStanding = 1;
constexpr uint32_t kMaxDevices = 64;
constexpr int32_t kRoleLeftHand = 1;
constexpr int32_t kRoleRightHand = 2;
constexpr uint32_t kNoDevice = 0xFFFFFFFFu;
// The overlay flag every overlay of ours sets.
constexpr uint32_t kOverlayFlagOurs = 8;
constexpr uint32_t kInputMethodNone = 0;
constexpr uint32_t kTextureTypeGpu = 0;
constexpr uint32_t kColorSpaceGamma = 1;
// Application properties.
constexpr uint32_t kAppPropertyBinaryPath = 13;
constexpr uint32_t kAppPropertyArguments = 14;
constexpr uint32_t kAppPropertyImagePath = 52;

struct Event {
  uint32_t type = 0;
  uint32_t device = 0;
};

struct DevicePose {
  bool connected = false;
  bool valid = false;
  int32_t tracking_result = 0;
  Matrix34 matrix{};
};

class System {
 public:
  virtual ~System() = default;
  // The headset's GPU adapter; negative when unknown.
  [[nodiscard]] virtual int32_t OutputAdapterIndex() = 0;
  // False when no event is queued.
  virtual bool PollNextEvent(Event* event) = 0;
  virtual void AcknowledgeQuitExiting() = 0;
  // Fills `count` poses (at most kMaxDevices); a dead connection gives all invalid.
  virtual void DeviceToAbsoluteTrackingPose(int32_t origin, float seconds_ahead, DevicePose* poses,
                                            uint32_t count) = 0;
  // The device holding a controller role, kNoDevice when none.
  virtual uint32_t DeviceIndexForControllerRole(int32_t role) = 0;
};

struct TextureRef {
  uint64_t id = 0;
  uint32_t type = kTextureTypeGpu;
  uint32_t color_space = kColorSpaceGamma;
};

struct TextureBounds {
  float u_min = 0.0f, v_min = 0.0f, u_max = 1.0f, v_max = 1.0f;
};

class Overlay {
 public:
  virtual ~Overlay() = default;
  // Keys are unique among live overlays; handles are never reused.
  [[nodiscard]] virtual int32_t CreateOverlay(const std::string& key, const std::string& name, uint64_t* handle) = 0;
  [[nodiscard]] virtual int32_t DestroyOverlay(uint64_t handle) = 0;
  [[nodiscard]] virtual int32_t SetWidthInMeters(uint64_t handle, float metres) = 0;
  [[nodiscard]] virtual int32_t SetSortOrder(uint64_t handle, uint32_t order) = 0;
  [[nodiscard]] virtual int32_t SetMouseScale(uint64_t handle, float width, float height) = 0;
  [[nodiscard]] virtual int32_t SetInputMethod(uint64_t handle, uint32_t method) = 0;
  [[nodiscard]] virtual int32_t SetFlag(uint64_t handle, uint32_t flag, bool enabled) = 0;
  [[nodiscard]] virtual int32_t SetTransformAbsolute(uint64_t handle, int32_t origin, const Matrix34& matrix) = 0;
  [[nodiscard]] virtual int32_t Show(uint64_t handle) = 0;
  [[nodiscard]] virtual int32_t Hide(uint64_t handle) = 0;
  [[nodiscard]] virtual int32_t SetTexelAspect(uint64_t handle, float aspect) = 0;
  [[nodiscard]] virtual int32_t SetTextureBounds(uint64_t handle, const TextureBounds& bounds) = 0;
  [[nodiscard]] virtual int32_t SetTexture(uint64_t handle, const TextureRef& texture) = 0;
};

struct DigitalActionData {
  bool active = false;
  bool state = false;
};

struct AnalogActionData {
  bool active = false;
  float x = 0.0f;
  float y = 0.0f;
};

struct PoseActionData {
  bool active = false;
  bool valid = false;
  bool connected = false;
  int32_t tracking_result = 0;
  Matrix34 matrix{};
};

class Input {
 public:
  virtual ~Input() = default;
  [[nodiscard]] virtual int32_t SetActionManifestPath(const std::string& utf8_path) = 0;
  [[nodiscard]] virtual int32_t GetActionSetHandle(const std::string& name, uint64_t* handle) = 0;
  [[nodiscard]] virtual int32_t GetActionHandle(const std::string& name, uint64_t* handle) = 0;
  // One active set, no device restriction, no secondary set, priority 0.
  [[nodiscard]] virtual int32_t UpdateActionState(uint64_t action_set) = 0;
  [[nodiscard]] virtual int32_t GetDigitalActionData(uint64_t action, DigitalActionData* data) = 0;
  [[nodiscard]] virtual int32_t GetAnalogActionData(uint64_t action, AnalogActionData* data) = 0;
  [[nodiscard]] virtual int32_t GetPoseActionDataRelativeToNow(uint64_t action, int32_t origin, float seconds_ahead,
                                                 PoseActionData* data) = 0;
};

class Applications {
 public:
  virtual ~Applications() = default;
  [[nodiscard]] virtual int32_t AddApplicationManifest(const std::string& utf8_path, bool temporary) = 0;
  [[nodiscard]] virtual int32_t RemoveApplicationManifest(const std::string& utf8_path) = 0;
  virtual bool IsApplicationInstalled(const std::string& app_key) = 0;
  // Copies the value and its NUL into `buffer` when it fits; returns the
  // length with the NUL (0 with an error when unknown).
  virtual uint32_t GetApplicationPropertyString(const std::string& app_key, uint32_t property, char* buffer,
                                                uint32_t buffer_size, int32_t* error) = 0;
  [[nodiscard]] virtual int32_t SetApplicationAutoLaunch(const std::string& app_key, bool enabled) = 0;
  virtual bool GetApplicationAutoLaunch(const std::string& app_key) = 0;
  [[nodiscard]] virtual int32_t IdentifyApplication(uint32_t pid, const std::string& app_key) = 0;
};

enum class FenceState : uint8_t { kError, kPending, kDone };

struct Box {
  uint32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The GPU device and its immediate context as one. Owners share it; it is
// released when the last record that refers to it lets go. Textures are
// RGBA8, one mip, one slice, shareable with the runtime.
class GpuDevice {
 public:
  virtual ~GpuDevice() = default;
  [[nodiscard]] virtual int32_t CreateTexture(uint32_t width, uint32_t height, uint64_t* texture) = 0;
  // Rows of `source` are `row_pitch` bytes apart; the box is in pixels.
  [[nodiscard]] virtual int32_t UpdateTexture(uint64_t texture, const Box& box, const uint8_t* source,
                                              uint32_t row_pitch) = 0;
  // Copies the box of `source` to the same place in `destination`; both
  // textures have the same size.
  [[nodiscard]] virtual int32_t CopyTexture(uint64_t destination, uint64_t source, const Box& box) = 0;
  virtual void ReleaseTexture(uint64_t texture) = 0;
  [[nodiscard]] virtual int32_t CreateFence(uint64_t* fence) = 0;
  virtual void SignalFence(uint64_t fence) = 0;
  // Never blocks.
  [[nodiscard]] virtual FenceState QueryFence(uint64_t fence) = 0;
  virtual void ReleaseFence(uint64_t fence) = 0;
  virtual void Flush() = 0;
  virtual bool Removed() = 0;
};

class Runtime {
 public:
  virtual ~Runtime() = default;
  // The process id of the runtime server, 0 when none runs.
  virtual uint32_t FindServerProcess() = 0;
  // Connects (including the client/server handshake); null with a non-zero
  // error when it cannot.
  virtual System* Init(int32_t app_type, int32_t* error) = 0;
  // Ends the connection; idempotent, harmless without Init.
  virtual void Shutdown() = 0;
  // Null unless connected and offered.
  virtual Overlay* GetOverlay() = 0;
  virtual Input* GetInput() = 0;
  virtual Applications* GetApplications() = 0;
  [[nodiscard]] virtual int32_t CreateGpuDevice(int32_t adapter, std::shared_ptr<GpuDevice>* device) = 0;
};

// The none backend: finds a "vrserver" process under the /proc root, never connects.
class NoneRuntime final : public Runtime {
 public:
  uint32_t FindServerProcess() override;
  System* Init(int32_t app_type, int32_t* error) override;
  void Shutdown() override {}
  Overlay* GetOverlay() override { return nullptr; }
  Input* GetInput() override { return nullptr; }
  Applications* GetApplications() override { return nullptr; }
  int32_t CreateGpuDevice(int32_t adapter, std::shared_ptr<GpuDevice>* device) override;
};

// The process-wide runtime: the installed one, else the none backend.
Runtime& CurrentRuntime();
// Installs `runtime` (kept alive by the caller while installed); null
// restores the none backend.
void InstallRuntime(Runtime* runtime);

// Installs a runtime for one scope, then restores the one before.
class ScopedRuntime {
 public:
  explicit ScopedRuntime(Runtime& runtime);
  ~ScopedRuntime();
  ScopedRuntime(const ScopedRuntime&) = delete;
  ScopedRuntime& operator=(const ScopedRuntime&) = delete;

 private:
  Runtime* previous_;
};

}  // namespace platform::vr
