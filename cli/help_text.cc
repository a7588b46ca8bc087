#include "cli/arguments.h"

namespace tavlune::cli {
namespace {

constexpr const char* kOverview = R"(Usage: tavlune [--json] COMMAND [OPTIONS]

Drives a running TavluneDesktop over its channel socket,
$HOME/Library/Application Support/Tavlune/channel.sock.

Commands:
  connect      point the system proxy at a proxy, after checking it works
  disconnect   put the system proxy settings back
  status       show whether a Tavlune proxy is connected
  inspect      show the exit address, location, network and speed of the proxy
  webrtc       switch Chrome's WebRTC protection on or off
  call         send any method call and print its reply
  quit         ask TavluneDesktop to quit, and wait until it has

Options:
  --json       print replies as JSON on standard output
  -h, --help   show help; "tavlune COMMAND --help" for a command

Exit status: 0 done; 1 TavluneDesktop answered with an error; 2 the command
line was wrong; 3 TavluneDesktop could not be reached.
)";

constexpr const char* kConnect = R"(Usage: tavlune connect PROTOCOL://[USER[:PASSWORD]@]HOST:PORT [OPTIONS]
       tavlune connect --host HOST --port PORT [--protocol PROTOCOL] [OPTIONS]

Checks that the proxy carries traffic, then points every enabled network
service at it. This takes a few seconds. PROTOCOL is http, https, socks4 or
socks5 (http when not given). In the URL, percent-encode reserved characters
of the user name and password (%40 for @, %3A for :).

Proxy:
  --host HOST              proxy host name or address
  --port PORT              proxy port, 1 to 65535
  --protocol PROTOCOL      http, https, socks4 or socks5
  --username USER          user name for the proxy
  --password PASSWORD      password for the proxy (visible to other users in
                           the process list; prefer --password-stdin)
  --password-stdin         read the password from the first line of standard input
  --no-webrtc-protection   leave Chrome's WebRTC policy off while connected

Description kept with the connection:
  --type TYPE              connection type (default "manual")
  --profile-id ID          profile identifier
  --session-id NUMBER      session number
  --country-code CODE      country code
  --country NAME           country name
  --state NAME             region name
  --city NAME              city name
)";

constexpr const char* kDisconnect = R"(Usage: tavlune disconnect

Puts back the system proxy settings recorded when the proxy was connected,
and switches Chrome's WebRTC protection off.
)";

constexpr const char* kStatus = R"(Usage: tavlune status

Shows whether a Tavlune proxy is connected and what was recorded with it.
A connection the system no longer shows is reported as not connected, and
TavluneDesktop tidies it up.
)";

constexpr const char* kInspect = R"(Usage: tavlune inspect

Shows what the check of the connected proxy found: the exit address, its
country, region and city, the network operator and the measured speed.
)";

constexpr const char* kWebrtc = R"(Usage: tavlune webrtc on|off

Switches Chrome's managed policy that keeps WebRTC traffic inside the proxy.
Only takes effect while a proxy is connected.
)";

constexpr const char* kCall = R"(Usage: tavlune call METHOD [JSON]

Sends METHOD with the JSON value as its arguments (none when left out) on
the channel "com.tavlune.app/vpn" and prints the reply as JSON. Whole
numbers are sent as 32-bit integers when they fit, else as 64-bit ones.

Example: tavlune call setWebRtcProtection '{"enabled": false}'
)";

constexpr const char* kQuit = R"(Usage: tavlune quit

Asks TavluneDesktop to quit. It first takes back the system proxy settings,
after anything already under way; this waits until it has ended.
)";

}  // namespace

std::string helpText(const std::string& topic) {
  if (topic.empty()) return kOverview;
  if (topic == "connect") return kConnect;
  if (topic == "disconnect") return kDisconnect;
  if (topic == "status") return kStatus;
  if (topic == "inspect") return kInspect;
  if (topic == "webrtc") return kWebrtc;
  if (topic == "call") return kCall;
  if (topic == "quit") return kQuit;
  return {};
}

}  // namespace tavlune::cli
