#include "channel/method_result.h"

#include <gtest/gtest.h>

#include <functional>

#include "channel/method_reply.h"
#include "channel/method_result_functions.h"

namespace tavlune::channel {
namespace {

// Records every answer its handlers receive, as the reply it stands for.
struct Recorder {
  std::vector<MethodReply> calls;
  bool nullPointer = false;
  MethodResultFunctions Result() {
    return MethodResultFunctions(
        [this](const EncodableValue* v) {
          nullPointer = !v;
          calls.emplace_back(SuccessReply{v ? *v : EncodableValue()});
        },
        [this](const std::string& code, const std::string& message, const EncodableValue* details) {
          calls.emplace_back(FlutterError{code, message, details ? std::optional(*details) : std::nullopt});
        },
        [this] { calls.emplace_back(NotImplementedReply{}); });
  }
  void ExpectOnly(const MethodReply& reply) {
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0] == reply);
    const auto* success = std::get_if<SuccessReply>(&reply);
    EXPECT_EQ(nullPointer, success && success->value == EncodableValue());
  }
};

const EncodableValue kDetails(42);
const std::pair<std::function<bool(MethodResult&)>, MethodReply> kAnswers[] = {
    {[](MethodResult& r) { return r.Success(EncodableValue("v")); }, SuccessReply{EncodableValue("v")}},
    {[](MethodResult& r) { return r.Success(); }, SuccessReply{}},
    {[](MethodResult& r) { return r.Error("E"); }, FlutterError{"E", "", std::nullopt}},
    {[](MethodResult& r) { return r.Error("E", "m", &kDetails); }, FlutterError{"E", "m", kDetails}},
    {[](MethodResult& r) { return r.Error("E", "m", kDetails); }, FlutterError{"E", "m", kDetails}},
    {[](MethodResult& r) { return r.Error(FlutterError{"C", "x", EncodableValue()}); }, FlutterError{"C", "x", EncodableValue()}},
    {[](MethodResult& r) { return r.NotImplemented(); }, NotImplementedReply{}},
};

TEST(MethodResultTest, FirstAnswerWinsAndEveryLaterOneIsRefused) {
  for (size_t first = 0; first < std::size(kAnswers); ++first) {
    for (const auto& second : kAnswers) {
      SCOPED_TRACE(first);
      Recorder recorder;
      auto result = recorder.Result();
      EXPECT_FALSE(result.answered());
      EXPECT_TRUE(kAnswers[first].first(result));
      EXPECT_TRUE(result.answered());
      EXPECT_FALSE(second.first(result));
      EXPECT_FALSE(DeliverReply(second.second, result));
      recorder.ExpectOnly(kAnswers[first].second);
    }
    Recorder recorder;
    auto result = recorder.Result();
    EXPECT_TRUE(DeliverReply(kAnswers[first].second, result));
    recorder.ExpectOnly(kAnswers[first].second);
  }
  MethodResultFunctions empty(nullptr, nullptr, nullptr);
  EXPECT_TRUE(empty.NotImplemented());
  EXPECT_FALSE(empty.Success());
}

}  // namespace
}  // namespace tavlune::channel
