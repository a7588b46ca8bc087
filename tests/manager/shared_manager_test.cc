#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "manager/mac_proxy_manager.h"
#include "model/record_store.h"
#include "channel/method_result_functions.h"
#include "platform/bundle/bundle.h"
#include "platform/defaults/file_user_defaults.h"
#include "tests/support/temp_dir.h"

namespace tavlune {
namespace {
using namespace tavlune::manager;
using namespace tavlune::model;

using channel::EncodableValue;

// The process-wide manager reads the defaults of the running program's bundle
// (outside a bundle, of its file name), and every thread gets the same one.
TEST(SharedManager, OneInstanceOnTheUsersDefaults) {
  testing::TempDir temp;
  const std::string& home = temp.path();
  setenv("HOME", home.c_str(), 1);

  platform::FileUserDefaults defaults(home + "/Library/Preferences/" + platform::MainBundle().bundleIdentifier() + ".plist");
  MacProxyConnectionState state{"h", 80, "http", "manual", {}, 0, {}, {}, {}, {}, 1};
  ASSERT_TRUE(saveRecord(defaults, state).has_value());

  MacProxyManager* seen[4] = {};
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &MacProxyManager::shared(); });
  for (auto& t : threads) t.join();
  for (auto* manager : seen) EXPECT_EQ(manager, seen[0]);

  std::optional<EncodableValue> answer;
  MacProxyManager::shared().handle(
      channel::MethodCall("enableBrowserProxy"),
      std::make_unique<channel::MethodResultFunctions>(
          [&](const EncodableValue* value) { answer = value ? *value : EncodableValue(); }, nullptr, nullptr));
  EXPECT_EQ(answer, EncodableValue(true));
}

}  // namespace
}  // namespace tavlune
