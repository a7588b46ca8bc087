#!/usr/bin/python3
"""HTTPS stand-ins for the public IP-information services and the download
endpoint, as the simulated host reaches them under their own host names.

Usage: endpoints.py CERT KEY EXITS_JSON [PORT]

Every service answers with the client address it sees, which inside the host
is the exit address of the proxy the request came through. EXITS_JSON maps
such addresses to a made-up location and operator; it is read again for every
request, so a test can change it, or mark a service as down with
{"down": ["ipwho.is", ...]} (answered with 503)."""
import http.server
import json
import ssl
import sys
import urllib.parse

cert, key, exits_path = sys.argv[1:4]
port = int(sys.argv[4]) if len(sys.argv) > 4 else 443
CHUNK = b"\0" * 65536


def settings():
    try:
        with open(exits_path, encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return {}


def place(table, address):
    found = table.get("exits", {}).get(address)
    return found or {"country": "Nowhere", "country_code": "ZZ", "region": "Loopback",
                     "city": "Localhost", "isp": "Unrouted Loopback"}


# Each service's own field names, so the client's parsing is exercised as it is
# against the real ones.
def ipwho(ip, p):
    return {"ip": ip, "success": True, "type": "IPv4", "country": p["country"], "country_code": p["country_code"],
            "region": p["region"], "city": p["city"], "connection": {"isp": p["isp"], "org": p["isp"]}}


def ipapi(ip, p):
    return {"ip": ip, "version": "IPv4", "city": p["city"], "region": p["region"], "country": p["country_code"],
            "country_name": p["country"], "country_code": p["country_code"], "org": p["isp"]}


def ipinfo(ip, p):
    return {"ip": ip, "city": p["city"], "region": p["region"], "country": p["country_code"], "org": p["isp"]}


ROUTES = {("ipwho.is", "/"): ipwho, ("ipapi.co", "/json/"): ipapi, ("ipinfo.io", "/json"): ipinfo}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        host = (self.headers.get("Host") or "").split(":")[0].lower()
        url = urllib.parse.urlsplit(self.path)
        table = settings()
        if host in table.get("down", []):
            return self.answer(503, b'{"error":"unavailable"}', "application/json")
        if host == "speed.cloudflare.com" and url.path == "/__down":
            try:
                count = max(0, min(int(urllib.parse.parse_qs(url.query).get("bytes", ["0"])[0]), 100_000_000))
            except ValueError:
                count = 0
            return self.stream(count)
        route = ROUTES.get((host, url.path))
        if route is None:
            return self.answer(404, b"not found\n", "text/plain")
        ip = self.client_address[0]
        body = json.dumps(route(ip, place(table, ip))).encode("utf-8")
        self.answer(200, body, "application/json")

    def stream(self, count):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(count))
        self.end_headers()
        while count > 0:
            piece = CHUNK[:min(count, len(CHUNK))]
            self.wfile.write(piece)
            count -= len(piece)

    def answer(self, status, body, kind):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (self.client_address[0], format % args))


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True


server = Server(("0.0.0.0", port), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
server.serve_forever()
