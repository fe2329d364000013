#!/usr/bin/env python3
"""Merges the compile_commands.json of the native build and both Windows builds into one at
the root of the tree, for editors (clangd and the like look there). Each source appears
once: as the native build compiles it when that build does, else as the 32-bit Windows
build does, else the 64-bit one; so every header is reached from some source. A build
that is not configured is passed over, and named."""
import json
import os
import sys

root = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
merged, seen = [], set()
for build in ("build/native", "build/win", "build/win64"):
    path = os.path.join(root, build, "compile_commands.json")
    if not os.path.exists(path):
        print(f"compile-commands: {build} is not configured; its sources are left out", file=sys.stderr)
        continue
    with open(path) as f:
        for entry in json.load(f):
            if entry["file"] not in seen:
                seen.add(entry["file"])
                merged.append(entry)
with open(os.path.join(root, "compile_commands.json"), "w") as f:
    json.dump(merged, f, indent=1)
print(f"compile_commands.json: {len(merged)} sources")
