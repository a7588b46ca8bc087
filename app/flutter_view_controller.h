// The Flutter embedding as the shell sees it: an engine whose binary messenger
// is the channel socket, a plug-in registry, and the view controller that
// owns the engine. The Flutter view itself lives in the front end.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/window.h"
#include "channel/messenger.h"

namespace tavlune::app {

class FlutterEngine;

class FlutterPluginRegistrar {
 public:
  FlutterPluginRegistrar(FlutterEngine& engine, std::string pluginName)
      : engine_(engine), pluginName_(std::move(pluginName)) {}
  const std::string& pluginName() const { return pluginName_; }
  channel::BinaryMessenger* messenger() const;

 private:
  FlutterEngine& engine_;
  std::string pluginName_;
};

class FlutterPluginRegistry {
 public:
  virtual ~FlutterPluginRegistry() = default;
  virtual FlutterPluginRegistrar* registrarForPlugin(const std::string& pluginName) = 0;
};

class FlutterEngine final : public FlutterPluginRegistry {
 public:
  explicit FlutterEngine(channel::BinaryMessenger& transport);
  ~FlutterEngine() override;

  channel::BinaryMessenger* binaryMessenger();
  FlutterPluginRegistrar* registrarForPlugin(const std::string& pluginName) override;

  // Registrars asked for and channels opened on the messenger, in order, as
  // "plugin:NAME" and "channel:NAME"; how the order can be seen from outside.
  const std::vector<std::string>& registrations() const { return registrations_; }

 private:
  class RecordingMessenger;
  std::unique_ptr<RecordingMessenger> messenger_;
  std::vector<std::unique_ptr<FlutterPluginRegistrar>> registrars_;
  std::vector<std::string> registrations_;
};

class FlutterViewController final : public ViewController, public FlutterPluginRegistry {
 public:
  // Starts its own engine on the channel transport.
  explicit FlutterViewController(channel::BinaryMessenger& transport)
      : engine_(std::make_unique<FlutterEngine>(transport)) {}

  std::string className() const override { return "FlutterViewController"; }
  FlutterEngine* engine() const { return engine_.get(); }
  FlutterPluginRegistrar* registrarForPlugin(const std::string& pluginName) override {
    return engine_->registrarForPlugin(pluginName);
  }

 private:
  std::unique_ptr<FlutterEngine> engine_;
};

}  // namespace tavlune::app
