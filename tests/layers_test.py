#!/usr/bin/env python3
"""The layers of the code base: app -> model -> {align, motif} -> numeric, a base of shared
types every layer may use, and the companion tools apart (they may use the core; the core
never uses them). The build compiles every layer with the repository root on its include
path, so only reading the #include lines can catch one against the grain.

    tests/layers_test.py SOURCE_DIR      (exit 1 and one line per include against the grain)
"""
import os
import re
import sys

MAY_USE = {
    "base": {"base"},
    "numeric": {"numeric", "base"},
    "align": {"align", "numeric", "base"},
    "motif": {"motif", "numeric", "base"},
    "model": {"model", "align", "motif", "numeric", "base"},
    "app": {"app", "model", "align", "motif", "numeric", "base"},
    "tools": {"tools", "app", "model", "align", "motif", "numeric", "base"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer_of(path):
    top = path.split("/", 1)[0]
    return top if top in MAY_USE else ""


def violations(rel, text, root):
    """Every #include "..." of rel that goes against the grain or names no file."""
    out = []
    for line in text.splitlines():
        m = INCLUDE.match(line)
        if not m:
            continue
        # Include directories: the repository root, the including file's folder, tools/.
        for d in ("", os.path.dirname(rel), "tools"):
            target = os.path.normpath(os.path.join(d, m.group(1)))
            if os.path.exists(os.path.join(root, target)):
                break
        to = layer_of(target)
        if not os.path.exists(os.path.join(root, target)) or not to or to not in MAY_USE[layer_of(rel)]:
            out.append(f"{rel} -> {m.group(1)}")
    return out


def main():
    root = sys.argv[1]
    # The check itself must catch an upward include, one into the tools, and accept the tools' own.
    assert violations("model/X.cpp", '#include "app/Drivers.h"\n#include "base/MyString.h"\n', root) == \
        ["model/X.cpp -> app/Drivers.h"]
    assert violations("numeric/X.cpp", '#include "align/AlignPath.h"\n', root) == ["numeric/X.cpp -> align/AlignPath.h"]
    assert violations("app/X.cpp", ' # include "common/Evaluator.h"\n', root) == ["app/X.cpp -> common/Evaluator.h"]
    assert not violations("tools/X.cpp", '#include "common/Evaluator.h"\n#include "model/Serevan.h"\n', root)
    files, bad = 0, []
    for top in ("base", "app", "numeric", "align", "motif", "model", "tools"):
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    bad += violations(rel, f.read(), root)
                files += 1
    if files < 40:
        print(f"only {files} source files found under {root}")
        return 1
    for b in bad:
        print(b)
    print(f"layers: {files} files, {len(bad)} includes against the grain")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
