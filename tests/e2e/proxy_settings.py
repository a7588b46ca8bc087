#!/usr/bin/env python3
"""Prints a network preferences file as the proxy settings a person would see.

  proxy_settings.py view FILE BEFORE    the whole file, each service's proxies reduced
                                        to what a take-back restores
  proxy_settings.py live FILE           one line per service: where its proxies point

"view" shows every restorable field, on or off: each kind's switch, host, port and
user, the bypass list, discovery, and the automatic configuration URL and its switch.
networksetup cannot empty a host, so a kind that had no server in BEFORE keeps the
host and port a connect wrote there; such a kind, switched off and without a user
name, shows as "none", as it does in BEFORE itself.
"""
import json
import plistlib
import sys

KINDS = (("web", "HTTP"), ("secure", "HTTPS"), ("socks", "SOCKS"))


def on(proxies, key):
    value = proxies.get(key)
    return type(value) is int and value == 1 or value == "1"


def has_server(proxies, prefix):
    return bool(str(proxies.get(prefix + "Proxy", "")).strip()) and prefix + "Port" in proxies


def restorable(proxies, before):
    view = {}
    for name, prefix in KINDS:
        enabled, user = on(proxies, prefix + "Enable"), proxies.get(prefix + "User", "")
        if before is not None and not has_server(before, prefix) and not enabled and not user:
            view[name] = "none"
        else:
            view[name] = "%s %s:%s user=%s" % ("on" if enabled else "off", proxies.get(prefix + "Proxy"),
                                               proxies.get(prefix + "Port"), user)
    exceptions = proxies.get("ExceptionsList")
    view["bypass"] = exceptions if isinstance(exceptions, list) else []
    view["autodiscovery"] = on(proxies, "ProxyAutoDiscoveryEnable")
    view["autoconfig"] = "%s %s" % ("on" if on(proxies, "ProxyAutoConfigEnable") else "off",
                                    proxies.get("ProxyAutoConfigURLString"))
    return view


def pointed(proxies):
    kinds = []
    for name, prefix in KINDS:
        if on(proxies, prefix + "Enable"):
            kinds.append("%s %s:%s user=%s" % (name, proxies.get(prefix + "Proxy"), proxies.get(prefix + "Port"),
                                               proxies.get(prefix + "User", "")))
        else:
            kinds.append(name + " off")
    return ", ".join(kinds)


def services_of(path):
    with open(path, "rb") as f:
        preferences = plistlib.load(f)
    return preferences, preferences.get("NetworkServices", {})


def main():
    mode, path = sys.argv[1], sys.argv[2]
    preferences, services = services_of(path)
    if mode == "view":
        before = services_of(sys.argv[3])[1]
        for key, service in services.items():
            reference = before.get(key, {}).get("Proxies", {})
            service["Proxies"] = restorable(service.get("Proxies", {}), reference)
        print(json.dumps(preferences, indent=1, sort_keys=True, default=str))
    elif mode == "live":
        for service in sorted(services.values(), key=lambda s: s.get("UserDefinedName", "")):
            print("%s: %s" % (service.get("UserDefinedName"), pointed(service.get("Proxies", {}))))
    else:
        sys.exit("usage: proxy_settings.py view FILE BEFORE | live FILE")


if __name__ == "__main__":
    main()
