#!/usr/bin/env python3
"""Prints a network preferences file as the proxy settings a person would see.

  proxy_settings.py view FILE     the whole file, each service's proxies reduced
                                  to what a take-back restores: switches, and a
                                  proxy's host, port and user only while it is on
  proxy_settings.py live FILE     one line per service: where its proxies point

A take-back switches a proxy off without putting back the host and port that
were typed in while it was off, so those are left out of "view"; everything
else in the file is compared as it stands.
"""
import json
import plistlib
import sys

KINDS = (("web", "HTTP"), ("secure", "HTTPS"), ("socks", "SOCKS"))


def on(proxies, key):
    value = proxies.get(key)
    return type(value) is int and value == 1 or value == "1"


def restorable(proxies):
    view = {}
    for name, prefix in KINDS:
        if on(proxies, prefix + "Enable"):
            view[name] = "%s:%s user=%s" % (proxies.get(prefix + "Proxy"), proxies.get(prefix + "Port"),
                                            proxies.get(prefix + "User", ""))
        else:
            view[name] = "off"
    exceptions = proxies.get("ExceptionsList")
    view["bypass"] = exceptions if isinstance(exceptions, list) else []
    view["autodiscovery"] = on(proxies, "ProxyAutoDiscoveryEnable")
    view["autoconfig"] = proxies.get("ProxyAutoConfigURLString") if on(proxies, "ProxyAutoConfigEnable") else "off"
    return view


def main():
    mode, path = sys.argv[1], sys.argv[2]
    with open(path, "rb") as f:
        preferences = plistlib.load(f)
    services = preferences.get("NetworkServices", {})
    if mode == "view":
        for service in services.values():
            service["Proxies"] = restorable(service.get("Proxies", {}))
        print(json.dumps(preferences, indent=1, sort_keys=True, default=str))
    elif mode == "live":
        for service in sorted(services.values(), key=lambda s: s.get("UserDefinedName", "")):
            view = restorable(service.get("Proxies", {}))
            print("%s: web %s, secure %s, socks %s" % (service.get("UserDefinedName"), view["web"], view["secure"],
                                                       view["socks"]))
    else:
        sys.exit("usage: proxy_settings.py view|live FILE")


if __name__ == "__main__":
    main()
