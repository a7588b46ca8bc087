#include "platform/channel/method_result.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/channel/method_reply.h"
#include "platform/channel/method_result_functions.h"

namespace tavlune::channel {
namespace {

// Records every call its handlers receive.
struct Recorder {
  std::vector<std::string> calls;
  std::optional<EncodableValue> value;
  FlutterError error;
  bool value_was_null = false;

  MethodResultFunctions Result() {
    return MethodResultFunctions(
        [this](const EncodableValue* result) {
          calls.push_back("success");
          value_was_null = result == nullptr;
          if (result) value = *result;
        },
        [this](const std::string& code, const std::string& message, const EncodableValue* details) {
          calls.push_back("error");
          error = FlutterError{code, message, details ? std::optional<EncodableValue>(*details) : std::nullopt};
        },
        [this] { calls.push_back("not_implemented"); });
  }
};

using Answer = std::function<bool(MethodResult&)>;

struct AnswerCase {
  const char* name;
  Answer answer;
  const char* handler;
};

const EncodableValue kDetails(42);

const AnswerCase kAnswers[] = {
    {"success_value", [](MethodResult& r) { return r.Success(EncodableValue("v")); }, "success"},
    {"success_null", [](MethodResult& r) { return r.Success(); }, "success"},
    {"error_code_only", [](MethodResult& r) { return r.Error("E"); }, "error"},
    {"error_details", [](MethodResult& r) { return r.Error("E", "m", kDetails); }, "error"},
    {"error_value", [](MethodResult& r) { return r.Error(FlutterError{"E", "m", std::nullopt}); }, "error"},
    {"not_implemented", [](MethodResult& r) { return r.NotImplemented(); }, "not_implemented"},
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
      EXPECT_EQ(recorder.calls, std::vector<std::string>{first.handler});
    }
  }
}

TEST(MethodResultTest, ErrorHandlerReceivesWhatWasAnswered) {
  struct ErrorCase {
    Answer answer;
    FlutterError expected;
  };
  for (const auto& c : {ErrorCase{[](MethodResult& r) { return r.Error("E"); }, {"E", "", std::nullopt}},
                        ErrorCase{[](MethodResult& r) { return r.Error("E", "m", &kDetails); }, {"E", "m", kDetails}},
                        ErrorCase{[](MethodResult& r) { return r.Error("E", "m", kDetails); }, {"E", "m", kDetails}},
                        ErrorCase{[](MethodResult& r) { return r.Error(FlutterError{"C", "x", EncodableValue()}); },
                                  {"C", "x", EncodableValue()}}}) {
    Recorder recorder;
    auto result = recorder.Result();
    c.answer(result);
    EXPECT_TRUE(recorder.error == c.expected) << recorder.error.code << " " << recorder.error.message;
  }
}

TEST(MethodResultTest, RacingAnswersProduceExactlyOne) {
  for (int round = 0; round < 50; ++round) {
    std::atomic<int> delivered{0};
    std::atomic<int> accepted{0};
    MethodResultFunctions result([&](const EncodableValue*) { ++delivered; },
                                 [&](const std::string&, const std::string&, const EncodableValue*) { ++delivered; },
                                 [&] { ++delivered; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      threads.emplace_back([&, t] {
        const bool won = t % 2 ? result.Success() : result.Error("E");
        if (won) ++accepted;
      });
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

TEST(MethodResultTest, DeliverReplyRoutesEachKind) {
  struct Case {
    MethodReply reply;
    const char* handler;
    bool null_value;
  };
  for (const auto& c : {Case{SuccessReply{EncodableValue(3)}, "success", false}, Case{SuccessReply{}, "success", true},
                        Case{FlutterError{"E", "m", kDetails}, "error", false},
                        Case{NotImplementedReply{}, "not_implemented", false}}) {
    Recorder recorder;
    auto result = recorder.Result();
    EXPECT_TRUE(DeliverReply(c.reply, result));
    EXPECT_FALSE(DeliverReply(c.reply, result));
    EXPECT_EQ(recorder.calls, std::vector<std::string>{c.handler});
    EXPECT_EQ(recorder.value_was_null, c.null_value);
    if (const auto* success = std::get_if<SuccessReply>(&c.reply); success && !c.null_value) {
      EXPECT_TRUE(recorder.value == success->value);
    }
    if (const auto* error = std::get_if<FlutterError>(&c.reply)) {
      EXPECT_TRUE(recorder.error == *error);
    }
  }
}

}  // namespace
}  // namespace tavlune::channel
