"""A minimal front end written from docs/channel.md alone: sends method calls on one
connection, back to back, prints each reply as it comes, then "closed" when the
application closes the channel.
    channel_client.py SOCKET CHANNEL METHOD [KEY=VALUE ...] [-- CHANNEL METHOD ...]
VALUE goes as an int32 when it is all digits, else as a string; no KEY=VALUE: null arguments."""
import socket
import struct
import sys


def size(n):
    return bytes([n]) if n < 254 else bytes([254]) + struct.pack("<H", n) if n <= 0xFFFF else bytes([255]) + struct.pack("<I", n)


def string(text):
    data = text.encode("utf-8")
    return bytes([7]) + size(len(data)) + data


def method_call(method, pairs):
    body = bytes([13]) + size(len(pairs)) if pairs else bytes([0])
    for key, val in pairs:
        body += string(key) + (bytes([3]) + struct.pack("<i", int(val)) if val.isdigit() else string(val))
    return string(method) + body


def read_string(data, at):
    assert data[at] == 7, "expected a string"
    n, at = data[at + 1], at + 2
    if n >= 254:
        width = 2 if n == 254 else 4
        n, at = int.from_bytes(data[at:at + width], "little"), at + width
    return data[at:at + n].decode("utf-8"), at + n


def describe(payload):
    if not payload:
        return "not-implemented"
    if payload[0] == 1:
        code, at = read_string(payload, 1)
        return "error " + code + " " + (read_string(payload, at)[0] if payload[at] == 7 else "")
    return "success " + {0: "null", 1: "true", 2: "false"}.get(payload[1], "value")


calls = [call.split() for call in " ".join(sys.argv[2:]).split(" -- ")]
sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
sock.connect(sys.argv[1])
for call_id, (channel, method, *pairs) in enumerate(calls, start=1):
    name, payload = channel.encode("utf-8"), method_call(method, [p.split("=", 1) for p in pairs])
    body = struct.pack("<IBH", call_id, 0, len(name)) + name + payload
    sock.sendall(struct.pack("<I", len(body)) + body)
buffer = b""
while chunk := sock.recv(65536):
    buffer += chunk
    while len(buffer) >= 4 and len(buffer) >= 4 + struct.unpack_from("<I", buffer)[0]:
        length = struct.unpack_from("<I", buffer)[0]
        body, buffer = buffer[4:4 + length], buffer[4 + length:]
        call_id, kind, name_length = struct.unpack_from("<IBH", body)
        assert kind == 1, "the application sent a message"
        print(calls[call_id - 1][1] + ": " + describe(body[7 + name_length:]), flush=True)
print("closed", flush=True)
