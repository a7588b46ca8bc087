// The channel forms of the records and errors sent to the front end.
#pragma once

#include "channel/encodable_value.h"
#include "channel/flutter_error.h"
#include "model/mac_proxy_error.h"
#include "model/records.h"

namespace tavlune::manager {

channel::EncodableValue flutterValue(const model::MacProxyConnectionState& record);
channel::EncodableValue flutterValue(const model::MacProxyDiagnostic& record);

// The channel error for any error: one of four codes, its message, no details.
channel::FlutterError flutterError(const model::AnyError& error);

}  // namespace tavlune::manager
