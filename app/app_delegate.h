// The application delegate: Flutter's delegate with the launch clean-up and
// the deferred quit that takes the system's proxy settings back.
#pragma once

#include "app/application.h"

namespace tavlune::app {

// What the Flutter embedding's delegate does natively: nothing at launch, quit
// at once, keep running without windows.
class FlutterAppDelegate : public ApplicationDelegate {
 public:
  void applicationDidFinishLaunching(Application&) override {}
  TerminateReply applicationShouldTerminate(Application&) override { return TerminateReply::terminateNow; }
  bool applicationShouldTerminateAfterLastWindowClosed(Application&) override { return false; }
  bool applicationSupportsSecureRestorableState(Application&) override { return false; }
};

class AppDelegate final : public FlutterAppDelegate {
 public:
  void applicationDidFinishLaunching(Application& application) override;
  TerminateReply applicationShouldTerminate(Application& application) override;
  bool applicationShouldTerminateAfterLastWindowClosed(Application&) override { return true; }
  bool applicationSupportsSecureRestorableState(Application&) override { return true; }
};

}  // namespace tavlune::app
