// Where the channel socket lives: a folder of the user's own, shared by the
// application (which serves the socket and keeps its lock there) and every
// front end (which connects to it).
#pragma once

#include <sys/un.h>

#include <string>

#include "platform/error.h"

namespace tavlune::channel {

// Below the home folder; owner-only, so no other user can even reach the socket.
inline constexpr const char* kChannelFolder = "Library/Application Support/Tavlune";
inline constexpr const char* kChannelSocketName = "channel.sock";

// "$HOME/Library/Application Support/Tavlune"
std::string channelFolder();
// "$HOME/Library/Application Support/Tavlune/channel.sock"
std::string channelSocketPath();

// The address of the channel socket at path, as both ends bind and connect
// it (with all of sockaddr_un as its length); fails with a message naming the
// limit when the path does not fit whole.
platform::Result<sockaddr_un> channelSocketAddress(const std::string& path);

}  // namespace tavlune::channel
