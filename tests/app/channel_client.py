"""A minimal front end written from docs/channel.md alone: sends method calls
on one connection, back to back, and prints each reply as it comes, in
arrival order, then "closed" when the application closes the channel.

    channel_client.py SOCKET CHANNEL METHOD [KEY=VALUE ...] [-- CHANNEL METHOD ...]

VALUE is sent as an int32 when it is all digits, else as a string; a call
without KEY=VALUE carries null arguments.
"""
import socket
import struct
import sys


def size(n):
    if n < 254:
        return bytes([n])
    if n <= 0xFFFF:
        return bytes([254]) + struct.pack("<H", n)
    return bytes([255]) + struct.pack("<I", n)


def string(text):
    data = text.encode("utf-8")
    return bytes([7]) + size(len(data)) + data


def value(text):
    return bytes([3]) + struct.pack("<i", int(text)) if text.isdigit() else string(text)


def method_call(method, pairs):
    if not pairs:
        return string(method) + bytes([0])
    body = bytes([13]) + size(len(pairs))
    for key, val in pairs:
        body += string(key) + value(val)
    return string(method) + body


def frame(call_id, channel, payload):
    name = channel.encode("utf-8")
    body = struct.pack("<IBH", call_id, 0, len(name)) + name + payload
    return struct.pack("<I", len(body)) + body


def read_string(data, at):
    assert data[at] == 7, "expected a string"
    n = data[at + 1]
    at += 2
    if n == 254:
        n, at = struct.unpack_from("<H", data, at)[0], at + 2
    elif n == 255:
        n, at = struct.unpack_from("<I", data, at)[0], at + 4
    return data[at:at + n].decode("utf-8"), at + n


def describe(payload):
    if not payload:
        return "not-implemented"
    if payload[0] == 1:
        code, at = read_string(payload, 1)
        message = read_string(payload, at)[0] if payload[at] == 7 else ""
        return "error " + code + " " + message
    kind = {0: "null", 1: "true", 2: "false"}.get(payload[1])
    return "success " + (kind or "value")


def main():
    path, rest = sys.argv[1], sys.argv[2:]
    calls, current = [], []
    for word in rest + ["--"]:
        if word == "--":
            calls.append(current)
            current = []
        else:
            current.append(word)
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    sock.connect(path)
    names = {}
    for call_id, call in enumerate(calls, start=1):
        channel, method, pairs = call[0], call[1], [p.split("=", 1) for p in call[2:]]
        names[call_id] = method
        sock.sendall(frame(call_id, channel, method_call(method, pairs)))
    buffer = b""
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            print("closed", flush=True)
            return
        buffer += chunk
        while len(buffer) >= 4:
            length = struct.unpack_from("<I", buffer)[0]
            if len(buffer) < 4 + length:
                break
            body, buffer = buffer[4:4 + length], buffer[4 + length:]
            call_id, kind, name_length = struct.unpack_from("<IBH", body)
            assert kind == 1, "the application sent a message"
            print(names[call_id] + ": " + describe(body[7 + name_length:]), flush=True)


main()
