// The application bundle as CFBundle sees it: the main bundle is the .app the
// program was started from, found by the platform however it was launched.
#include <CoreFoundation/CoreFoundation.h>
#include <limits.h>

#include "platform/bundle/main_bundle.h"
#include "platform/bundle/resource_file.h"
#include "platform/mac/cf_plist.h"

namespace tavlune::platform {
namespace {

class CFMainBundle final : public Bundle {
 public:
  std::optional<std::string> pathForResource(const std::string& name) override {
    if (!isResourceFileName(name)) return std::nullopt;
    // Lent by the platform for the life of the process; never released.
    CFBundleRef bundle = CFBundleGetMainBundle();
    if (!bundle) return std::nullopt;
    auto resource = mac::cfString(name);
    if (!resource) return std::nullopt;
    // No type and no subfolder: the exact file name in Contents/Resources (or
    // a localisation folder there, which the product does not use).
    auto url = mac::CFRef<CFURLRef>::adopt(CFBundleCopyResourceURL(bundle, resource->get(), nullptr, nullptr));
    if (!url) return std::nullopt;
    char path[PATH_MAX];
    if (!CFURLGetFileSystemRepresentation(url.get(), true, reinterpret_cast<UInt8*>(path), sizeof path)) {
      return std::nullopt;
    }
    if (!isRegularFile(path)) return std::nullopt;
    return std::string(path);
  }

  std::string bundleIdentifier() override {
    CFBundleRef bundle = CFBundleGetMainBundle();
    // Lent, like the bundle: a Get result, never released.
    CFStringRef identifier = bundle ? CFBundleGetIdentifier(bundle) : nullptr;
    if (!identifier) return {};
    auto text = mac::utf8String(identifier);
    return text ? *text : std::string();
  }
};

}  // namespace

std::shared_ptr<Bundle> mainBundle() { return std::make_shared<CFMainBundle>(); }

}  // namespace tavlune::platform
