#include "cli/proof_progress.h"

#include "cli/session.h"
#include "channel/standard_codec.h"
#include "frontendprotocol/channels.h"
#include "frontendprotocol/keys.h"

namespace tavlune::cli {
namespace {

using channel::EncodableValue;
using namespace frontendprotocol;  // the channel's progress map

constexpr std::chrono::milliseconds kPollInterval{500};

std::string textEntry(const EncodableValue& map, const char* key) {
  const EncodableValue* value = entryOf(map, key);
  const auto* text = value ? std::get_if<std::string>(value) : nullptr;
  return text ? *text : std::string();
}


}  // namespace

bool inProgress(const EncodableValue& progress) {
  const std::string phase = textEntry(progress, kPhaseKey);
  return !phase.empty() && phase != kIdlePhase;
}

std::string progressText(const EncodableValue& progress) {
  const std::string phase = textEntry(progress, kPhaseKey);
  if (phase == kWaitingPhase) return "waiting for TavluneDesktop's earlier work";
  if (phase == kPreparingPhase) return "looking at the network services";
  if (phase == kApplyingPhase) return "pointing the network services at it";
  if (phase == kConfirmingPhase) return "waiting for macOS to take the new settings";
  if (phase != kProvingPhase) return {};
  const std::string pass = passText(progress);
  return pass.empty() ? "checking the proxy" : "checking the proxy, " + pass;
}

std::string passText(const EncodableValue& progress) {
  if (textEntry(progress, kPhaseKey) != kProvingPhase) return {};
  std::string out;
  if (int64_t pass = integerEntryOf(progress, kPassKey).value_or(0), passes = integerEntryOf(progress, kPassesKey).value_or(0);
      pass > 0 && passes > 0)
    out = "pass " + std::to_string(pass) + " of " + std::to_string(passes);
  std::string last = textEntry(progress, kLastErrorKey);
  last = last.substr(0, last.find('\n'));
  if (!last.empty()) out += (out.empty() ? "last: " : " \xE2\x80\x94 last: ") + last;
  return out;
}

ProgressPoller::ProgressPoller(channel::SocketMessengerClient& client, channel::MethodCall query)
    : client_(client), query_(channel::EncodeMethodCall(query)) {}

EncodableValue ProgressPoller::latest() {
  const auto now = std::chrono::steady_clock::now();
  bool ask = false;
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->pending && now - asked_ >= kPollInterval) ask = shared_->pending = true;
  }
  // Unlocked: a send that fails calls the handler at once.
  if (ask) {
    asked_ = now;
    client_.send(window::kChannel, query_, [shared = shared_](channel::ClientReply reply) {
      auto decoded = reply ? channel::DecodeEnvelope(*reply) : platform::Result<channel::MethodReply>(unexpected(reply.error()));
      const auto* success = decoded ? std::get_if<channel::SuccessReply>(&*decoded) : nullptr;
      std::lock_guard lock(shared->mutex);
      shared->pending = false;
      if (success) shared->latest = success->value;
    });
  }
  std::lock_guard lock(shared_->mutex);
  return shared_->latest;
}

}  // namespace tavlune::cli
