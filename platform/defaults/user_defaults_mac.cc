// User defaults in CFPreferences, in the domain of the application's bundle
// identifier (the one its Info.plist gives), for the current user on any
// host: the domain NSUserDefaults' standard defaults write. The
// preferences daemon owns the domain's file; it applies each change whole and
// replaces the file atomically, and serves every thread and process the same
// values, so no lock of ours is needed.
#include <CoreFoundation/CoreFoundation.h>

#include <utility>

#include "platform/defaults/standard_user_defaults.h"
#include "platform/mac/cf_plist.h"

namespace tavlune::platform {
namespace {

class CFUserDefaults final : public UserDefaults {
 public:
  explicit CFUserDefaults(mac::CFRef<CFStringRef> application) : application_(std::move(application)) {}

  std::optional<Bytes> data(const std::string& key) override {
    auto name = mac::cfString(key);
    if (!name) return std::nullopt;
    auto stored = mac::CFRef<CFPropertyListRef>::adopt(
        CFPreferencesCopyAppValue(name->get(), application_.get()));
    // Another type under the key is not a data value, whatever it holds.
    if (!stored || CFGetTypeID(stored.get()) != CFDataGetTypeID()) return std::nullopt;
    auto value = mac::fromPropertyList(stored.get());
    if (!value) return std::nullopt;
    if (plist::Data* bytes = value->as<plist::Data>()) return std::move(*bytes);
    return std::nullopt;
  }

  Result<void> setData(const std::string& key, const Bytes& value) override {
    auto data = mac::toPropertyList(plist::Value(plist::Data(value)));
    if (!data) return unexpected(data.error());
    return store(key, data->get());
  }

  Result<void> removeObject(const std::string& key) override { return store(key, nullptr); }

 private:
  // A null value removes the key. Synchronizing writes the pending change to
  // permanent storage and says whether that worked, so a refused write (a full
  // disk, a preferences folder that is not writable) is an error here, not lost.
  Result<void> store(const std::string& key, CFPropertyListRef value) {
    auto name = mac::cfString(key);
    if (!name) return unexpected(name.error());
    CFPreferencesSetAppValue(name->get(), value, application_.get());
    if (!CFPreferencesAppSynchronize(application_.get())) {
      return unexpected(Error{"The user defaults could not be saved."});
    }
    return {};
  }

  mac::CFRef<CFStringRef> application_;
};

}  // namespace

std::shared_ptr<UserDefaults> standardUserDefaults(const std::string& bundleIdentifier) {
  // An identifier that is not text falls back to the running application's.
  auto application = mac::cfString(bundleIdentifier);
  return std::make_shared<CFUserDefaults>(
      application ? std::move(*application)
                  : mac::CFRef<CFStringRef>::retain(kCFPreferencesCurrentApplication));
}

}  // namespace tavlune::platform
