#include "channel/method_result.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "channel/method_reply.h"
#include "channel/method_result_functions.h"

namespace tavlune::channel {
namespace {

// Records every call its handlers receive, as the reply it stands for.
struct Recorder {
  std::vector<MethodReply> calls;
  bool null_pointer = false;  // the success handler was given no value at all

  MethodResultFunctions Result() {
    return MethodResultFunctions(
        [this](const EncodableValue* result) {
          null_pointer = result == nullptr;
          calls.emplace_back(std::in_place_type<SuccessReply>, result ? *result : EncodableValue());
        },
        [this](const std::string& code, const std::string& message, const EncodableValue* details) {
          calls.emplace_back(std::in_place_type<FlutterError>, code, message,
                             details ? std::optional<EncodableValue>(*details) : std::nullopt);
        },
        [this] { calls.emplace_back(std::in_place_type<NotImplementedReply>); });
  }

  void ExpectOnly(const MethodReply& reply) {
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0] == reply);
    const auto* success = std::get_if<SuccessReply>(&reply);
    EXPECT_EQ(null_pointer, success && success->value == EncodableValue());
  }
};

const EncodableValue kDetails(42);

const struct {
  const char* name;
  std::function<bool(MethodResult&)> answer;
  MethodReply received;
} kAnswers[] = {
    {"success_value", [](MethodResult& r) { return r.Success(EncodableValue("v")); }, SuccessReply{EncodableValue("v")}},
    {"success_null", [](MethodResult& r) { return r.Success(); }, SuccessReply{}},
    {"error_code_only", [](MethodResult& r) { return r.Error("E"); }, FlutterError{"E", "", std::nullopt}},
    {"error_details_pointer", [](MethodResult& r) { return r.Error("E", "m", &kDetails); }, FlutterError{"E", "m", kDetails}},
    {"error_details", [](MethodResult& r) { return r.Error("E", "m", kDetails); }, FlutterError{"E", "m", kDetails}},
    {"error_value", [](MethodResult& r) { return r.Error(FlutterError{"C", "x", EncodableValue()}); },
     FlutterError{"C", "x", EncodableValue()}},
    {"not_implemented", [](MethodResult& r) { return r.NotImplemented(); }, NotImplementedReply{}},
};

TEST(MethodResultTest, FirstAnswerWinsAndEveryLaterOneIsRefused) {
  for (const auto& first : kAnswers) {
    for (const auto& second : kAnswers) {
      SCOPED_TRACE(std::string(first.name) + " then " + second.name);
      Recorder recorder;
      auto result = recorder.Result();
      EXPECT_FALSE(result.answered());
      EXPECT_TRUE(first.answer(result));
      EXPECT_TRUE(result.answered());
      EXPECT_FALSE(second.answer(result));
      EXPECT_FALSE(first.answer(result));
      recorder.ExpectOnly(first.received);
    }
  }
}

TEST(MethodResultTest, DeliverReplyRoutesEachKind) {
  for (const auto& c : kAnswers) {
    SCOPED_TRACE(c.name);
    Recorder recorder;
    auto result = recorder.Result();
    EXPECT_TRUE(DeliverReply(c.received, result));
    EXPECT_FALSE(DeliverReply(c.received, result));
    recorder.ExpectOnly(c.received);
  }
}

TEST(MethodResultTest, RacingAnswersProduceExactlyOne) {
  for (int round = 0; round < 50; ++round) {
    std::atomic<int> delivered{0}, accepted{0};
    MethodResultFunctions result([&](const EncodableValue*) { ++delivered; },
                                 [&](const std::string&, const std::string&, const EncodableValue*) { ++delivered; },
                                 [&] { ++delivered; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] { accepted += t % 2 ? result.Success() : result.Error("E"); });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(accepted.load(), 1);
    EXPECT_EQ(delivered.load(), 1);
  }
}

TEST(MethodResultTest, EmptyHandlersStillCloseTheGate) {
  MethodResultFunctions result(nullptr, nullptr, nullptr);
  EXPECT_TRUE(result.NotImplemented());
  EXPECT_FALSE(result.Success());
}

}  // namespace
}  // namespace tavlune::channel
