// Registration of the Flutter plug-ins the front end uses.
#pragma once

#include "app/flutter_view_controller.h"

namespace tavlune::app {

void RegisterGeneratedPlugins(FlutterPluginRegistry* registry);

}  // namespace tavlune::app
