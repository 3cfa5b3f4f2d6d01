#include "phone_service/gateway.h"

namespace quorix_phone {

Gateway::Gateway(CallSession* session, Network* network, Media* media, std::function<uint64_t()> clock)
    : session_(session), network_(network), media_(media), clock_(std::move(clock)) {}

void Gateway::SetIdentity(const std::string&, uint64_t) {}

void Gateway::Activate() {
  if (session_ != nullptr) {
    session_->ForceReset();
    session_->AttachGateway(this);
  }
  recovery_state = 0;
  shut_down_ = false;
}

void Gateway::Pump() {
  if (shut_down_) return;
  // Drain what the connection and the worker delivered, so nothing piles up.
  NetworkReply reply;
  for (int i = 0; i < 16 && network_ != nullptr && network_->PollReply(&reply); ++i) {
  }
  std::string event;
  for (int i = 0; i < 24 && media_ != nullptr && media_->PollEvent(event); ++i) {
  }
}

}  // namespace quorix_phone
