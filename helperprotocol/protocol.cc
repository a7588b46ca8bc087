#include "helperprotocol/protocol.h"


#include "platform/json/json.h"
#include "platform/socket/unix_address.h"

namespace tavlune::helperprotocol {

namespace json = platform::json;

sockaddr_un makeAddress(std::string_view path) {
  static_assert(sizeof(sockaddr_un) >= kAddressLength, "the address length reaches past sockaddr_un");
  // The length passed is 106, so 104 bytes of the path field count: 103 for
  // the path and its zero byte.
  return platform::unixAddress(path, kAddressLength);
}

platform::Result<std::string> encodeRequest(const Request& request) {
  auto text = json::serializeEscapingSlashes(json::Json{{"command", request.command}});
  if (!text) return unexpected(text.error());
  text->push_back('\n');
  return text;
}

std::optional<Request> decodeRequest(std::string_view message) {
  auto value = json::parse(message);
  if (!value || !value->is_object()) return std::nullopt;
  auto command = value->find("command");
  if (command == value->end() || !command->is_string()) return std::nullopt;
  return Request{command->get<std::string>()};
}

platform::Result<std::string> encodeReply(const Reply& reply) {
  json::Json object{{"ok", reply.ok}};
  if (!reply.ok) object["error"] = reply.error.value_or("");
  if (reply.version) object["version"] = *reply.version;
  // The same writer as the application's, so "/" travels as "\/" both ways.
  auto text = json::serializeEscapingSlashes(object);
  if (!text) return unexpected(text.error());
  text->push_back('\n');
  return text;
}

platform::Result<std::optional<Reply>> decodeReply(std::string_view message) {
  auto value = json::parse(message);
  if (!value) return unexpected(value.error());
  if (!value->is_object()) return std::optional<Reply>();
  Reply reply;
  auto ok = value->find("ok");
  reply.ok = ok != value->end() && ok->is_boolean() && ok->get<bool>();
  if (auto error = value->find("error"); error != value->end() && error->is_string())
    reply.error = error->get<std::string>();
  if (auto version = value->find("version"); version != value->end()) reply.version = json::wholeNumber(*version);
  return std::optional<Reply>(std::move(reply));
}

}  // namespace tavlune::helperprotocol
