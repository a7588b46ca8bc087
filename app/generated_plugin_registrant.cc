#include "app/generated_plugin_registrant.h"

namespace tavlune::app {
namespace {

// The plug-ins serve the front end over its own channels; natively there is
// nothing for them to set up, so each registration only takes its registrar.
struct FlutterSecureStoragePlugin {
  static void registerWith(FlutterPluginRegistrar*) {}
};
struct FPPPackageInfoPlusPlugin {
  static void registerWithRegistrar(FlutterPluginRegistrar*) {}
};
struct PathProviderPlugin {
  static void registerWith(FlutterPluginRegistrar*) {}
};
struct SharedPreferencesPlugin {
  static void registerWith(FlutterPluginRegistrar*) {}
};
struct UrlLauncherPlugin {
  static void registerWith(FlutterPluginRegistrar*) {}
};
struct WebViewFlutterPlugin {
  static void registerWith(FlutterPluginRegistrar*) {}
};

}  // namespace

void RegisterGeneratedPlugins(FlutterPluginRegistry* registry) {
  FlutterSecureStoragePlugin::registerWith(registry->registrarForPlugin("FlutterSecureStoragePlugin"));
  FPPPackageInfoPlusPlugin::registerWithRegistrar(registry->registrarForPlugin("FPPPackageInfoPlusPlugin"));
  PathProviderPlugin::registerWith(registry->registrarForPlugin("PathProviderPlugin"));
  SharedPreferencesPlugin::registerWith(registry->registrarForPlugin("SharedPreferencesPlugin"));
  UrlLauncherPlugin::registerWith(registry->registrarForPlugin("UrlLauncherPlugin"));
  WebViewFlutterPlugin::registerWith(registry->registrarForPlugin("WebViewFlutterPlugin"));
}

}  // namespace tavlune::app
