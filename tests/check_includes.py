#!/usr/bin/env python3
"""Holds the sources to the libraries' one-way graph: every quoted include
must name a header of the file's own library or of one it may use, and the
context-free tests must link neither the window nor the sound library.
Usage: check_includes.py SOURCE_DIR UNIT_TESTS_BINARY"""
import os, re, subprocess, sys

root, unit_tests = sys.argv[1], sys.argv[2]
libraries = {  # library: (files, libraries it may use)
    "core": ("gl.h shader.h shader.cpp part.h model.h model.cpp render_target.h", []),
    "geometry": ("assets.h assets.cpp catalogue_tables.h", ["core"]),
    "shaders": ("shaders.h shaders.cpp", ["core"]),
    "timeline": ("choreography.h choreography.cpp", ["core"]),
    "music": ("music.h music.cpp", []),
    "command line": ("command_line.h command_line.cpp", []),
    "frame": ("frame.h frame.cpp pass_clock.h", ["core", "geometry", "shaders", "timeline"]),
    "demo": ("demo.h demo.cpp main.cpp player.h player.cpp transport.h transport.cpp",
             ["frame", "music", "command line"]),
    "capture": (" ".join(os.listdir(os.path.join(root, "capture"))), ["frame", "command line"]),
}
reach = lambda name: {name}.union(*(reach(used) for used in libraries[name][1]))
owner = {f: name for name, (files, _) in libraries.items() for f in files.split()}
faults = []
for folder in ("src", "capture"):
    for f in sorted(f for f in os.listdir(os.path.join(root, folder)) if f.endswith((".h", ".cpp"))):
        lib = owner.get(f, "no library")
        text = open(os.path.join(root, folder, f), encoding="utf-8").read()
        for header in re.findall(r'^\s*#\s*include\s+"([^"]+)"', text, re.M):
            if owner.get(header) not in reach(lib) if lib in libraries else True:
                faults.append(f"{folder}/{f} ({lib}) includes {header} ({owner.get(header, 'unknown')})")

needed = subprocess.run(["objdump", "-p", unit_tests], capture_output=True, text=True).stdout
for lib in re.findall(r"NEEDED\s+(\S+)", needed):
    if lib.startswith(("libsfml", "libpulse", "libX11")):
        faults.append(f"unit_tests links {lib}")

print("\n".join(faults) or "the includes follow the graph")
sys.exit(1 if faults else 0)
