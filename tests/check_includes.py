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
    "frame": ("frame.h frame.cpp pass_clock.h", ["core", "geometry", "shaders", "timeline"]),
    "demo": ("demo.h demo.cpp main.cpp player.h player.cpp", ["frame", "music"]),
    "capture": ("capture/*", ["frame"]),
}

def reach(name):
    seen = {name}
    for used in libraries[name][1]:
        seen |= reach(used)
    return seen

owner = {f: name for name, (files, _) in libraries.items() for f in files.split() if f != "capture/*"}
faults = []
for folder in ("src", "capture"):
    for f in sorted(os.listdir(os.path.join(root, folder))):
        if not f.endswith((".h", ".cpp")):
            continue
        lib = "capture" if folder == "capture" else owner.get(f)
        if lib is None:
            faults.append(f"{folder}/{f} belongs to no library")
            continue
        text = open(os.path.join(root, folder, f), encoding="utf-8").read()
        for header in re.findall(r'^\s*#\s*include\s+"([^"]+)"', text, re.M):
            target = "capture" if folder == "capture" and os.path.exists(os.path.join(root, "capture", header)) \
                else owner.get(header)
            if target not in reach(lib):
                faults.append(f"{folder}/{f} ({lib}) includes {header} ({target or 'unknown'})")

needed = subprocess.run(["objdump", "-p", unit_tests], capture_output=True, text=True).stdout
for lib in re.findall(r"NEEDED\s+(\S+)", needed):
    if lib.startswith(("libsfml", "libpulse", "libX11")):
        faults.append(f"unit_tests links {lib}")

print("\n".join(faults) or "the includes follow the graph")
sys.exit(1 if faults else 0)
