#!/usr/bin/env python3
"""Writes text stubs (.tbd) of CoreFoundation and SystemConfiguration from
Apple's headers in third_party/apple, for linking the macOS cross build.

A stub exports exactly the functions and variables that the framework's
headers declare for macOS, as a Mac compiler sees them: clang parses both
umbrella headers for the target and dumps its syntax tree, and every
non-inline function and every extern variable declared in a file of that
framework's folder, and not marked unavailable on macOS, becomes a symbol. A
call to anything else fails the link, as it would at load time on a Mac.

    framework_stubs.py OUT_DIR CLANG [CLANG_ARGUMENTS...]

writes OUT_DIR/NAME.framework/NAME.tbd for both frameworks.
"""
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
APPLE = os.path.join(SOURCE, "third_party", "apple")

# Install name and release of each framework; the release is that of the
# vendored headers (third_party/apple/README.md).
FRAMEWORKS = {
    "CoreFoundation": ("/System/Library/Frameworks/CoreFoundation.framework/Versions/A/CoreFoundation", "1153.18"),
    "SystemConfiguration": (
        "/System/Library/Frameworks/SystemConfiguration.framework/Versions/A/SystemConfiguration",
        "1405.100.8",
    ),
}
TARGETS = "[ x86_64-macos, arm64-macos ]"
# What the compiler itself refers to for a macro the headers define: CFSTR
# (CFString.h) is a builtin whose constant points at CoreFoundation's class
# of constant strings.
COMPILER_REFERENCES = {"CoreFoundation": {"___CFConstantStringClassReference"}, "SystemConfiguration": set()}


def syntax_tree(clang):
    umbrella = "#include <CoreFoundation/CoreFoundation.h>\n#include <SystemConfiguration/SystemConfiguration.h>\n"
    out = subprocess.run(
        clang + ["-x", "c", "-fsyntax-only", "-Xclang", "-ast-dump=json", "-"],
        input=umbrella.encode(),
        stdout=subprocess.PIPE,
        check=True,
    ).stdout
    return json.loads(out)


class FileTracker:
    """The dump names a location's file only where it changes from the one
    printed before, so the file of a declaration is the last one seen in
    document order."""

    def __init__(self):
        self.current = None

    def visit(self, node):
        if isinstance(node, dict):
            for key, value in node.items():
                if key == "file":
                    self.current = value
                elif key != "includedFrom":  # names the includer, not the place
                    self.visit(value)
        elif isinstance(node, list):
            for value in node:
                self.visit(value)


def declared_file(decl, tracker):
    """The file a top-level declaration is written in (for one produced by a
    macro, where the macro is used), and moves the tracker past it."""
    # A location inside a macro is dumped as its spelling, then its
    # expansion: after both, the tracker stands at the expansion's file.
    tracker.visit(decl.get("loc", {}))
    here = tracker.current
    tracker.visit({k: v for k, v in decl.items() if k != "loc"})
    return here


def unavailable_on_macos(decl):
    for attr in decl.get("inner", []):
        if attr.get("kind") == "AvailabilityAttr" and attr.get("platform") in ("macos", "macosx"):
            if attr.get("unavailable"):
                return True
    return False


def exported(decl):
    kind = decl.get("kind")
    if kind == "FunctionDecl":
        return decl.get("storageClass") != "static" and not decl.get("inline")
    if kind == "VarDecl":
        return decl.get("storageClass") == "extern"
    return False


def symbols_by_framework(tree):
    found = {name: set(COMPILER_REFERENCES[name]) for name in FRAMEWORKS}
    tracker = FileTracker()
    for decl in tree.get("inner", []):
        path = declared_file(decl, tracker)
        if not path or not exported(decl) or unavailable_on_macos(decl):
            continue
        path = os.path.abspath(path)
        for name in FRAMEWORKS:
            if path.startswith(os.path.join(APPLE, name) + os.sep):
                found[name].add("_" + decl["name"])
    return found


def stub_text(name, symbols):
    install_name, release = FRAMEWORKS[name]
    lines = [
        "--- !tapi-tbd",
        "tbd-version:     4",
        f"targets:         {TARGETS}",
        f"install-name:    '{install_name}'",
        f"current-version: {release}",
        "exports:",
        f"  - targets:         {TARGETS}",
        "    symbols:         [ " + ",\n                       ".join(sorted(symbols)) + " ]",
        "...",
    ]
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    out_dir, clang = sys.argv[1], sys.argv[2:]
    found = symbols_by_framework(syntax_tree(clang))
    for name, symbols in found.items():
        # A parse that found nothing would make every call fail the link, or
        # (worse) a filter that let everything through: neither is a stub.
        if len(symbols) < 50:
            sys.exit(f"framework_stubs: only {len(symbols)} symbols found for {name}")
        folder = os.path.join(out_dir, f"{name}.framework")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"{name}.tbd"), "w") as f:
            f.write(stub_text(name, symbols))
        print(f"framework_stubs: {name}: {len(symbols)} symbols")


if __name__ == "__main__":
    main()
