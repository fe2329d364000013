#!/usr/bin/env python3
"""The documents point at things that exist:
- every relative link and picture in README.md, CONTRIBUTING.md and docs/*.md names a file
  of the tree, and its #anchor a heading of that page;
- every `path/with/a/slash` and every `name()` that docs/architecture.md names in backticks
  exists: the path in the tree (a * matches), the function as a definition or declaration
  in src/ or tests/;
- every arrow of docs/layers.dot is an include that tests/static/include_rules.txt allows,
  and every allowed include between folders of src/ is a path of arrows;
- every Makefile target has its "## " line for make help.
Prints one line per offence, then how many."""
import glob
import os
import re
import sys

ROOT = os.path.abspath(os.environ.get("QV_ROOT") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
PAGES = ["README.md", "CONTRIBUTING.md"] + sorted(os.path.relpath(p, ROOT) for p in glob.glob(os.path.join(ROOT, "docs", "*.md")))
LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
FENCE = re.compile(r"^```.*?^```", re.MULTILINE | re.DOTALL)
CODE_SPAN = re.compile(r"`([^`\n]+)`")
# Paths that builds make and the ones that stand for a user's own files.
NOT_IN_TREE = ("build/", "dist/", "node_modules/", "/usr/", "/etc/", "~/", "C:", "http")


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return f.read()


def anchors(text):
    """The ids GitHub gives a page's headings."""
    seen, found = {}, set()
    for line in FENCE.sub("", text).splitlines():
        m = re.match(r"#{1,6}\s+(.*?)\s*#*\s*$", line)
        if not m:
            continue
        slug = re.sub(r"[^\w\- ]", "", m.group(1).lower()).replace(" ", "-")
        n = seen.get(slug, 0)
        seen[slug] = n + 1
        found.add(slug if n == 0 else f"{slug}-{n}")
    return found


def link_offences(page):
    text = FENCE.sub("", read(page))
    for target in LINK.findall(CODE_SPAN.sub("", text)):
        if re.match(r"[a-z]+:", target):
            continue
        path, _, anchor = target.partition("#")
        resolved = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
        if not os.path.exists(os.path.join(ROOT, resolved)):
            yield f"{page}: link to {target}: no file {resolved}"
        elif anchor and resolved.endswith(".md") and anchor not in anchors(read(resolved)):
            yield f"{page}: link to {target}: no heading #{anchor} in {resolved}"


def defined(name, sources):
    """True when name( stands where a definition or declaration has it: after a type."""
    pattern = re.compile(r"^[ \t]*(?:[\w:<>,*&]+[ \t*&]+)+" + re.escape(name) + r"[ \t]*\(", re.MULTILINE)
    calls = re.compile(r"\b(return|else|case|new|delete|throw|if|while)\b")
    for text in sources:
        for m in pattern.finditer(text):
            if not calls.search(m.group(0)):
                return True
    return False


def name_offences(page):
    text = read(page)
    sources = [read(os.path.relpath(p, ROOT)) for top in ("src", "tests")
               for p in glob.glob(os.path.join(ROOT, top, "**", "*.*"), recursive=True)
               if p.endswith((".cpp", ".h", ".c"))]
    for span in sorted(set(CODE_SPAN.findall(text))):
        if re.fullmatch(r"[A-Za-z_]\w*\(\)", span):
            if not defined(span[:-2], sources):
                yield f"{page}: {span} is defined nowhere in src/ or tests/"
        elif re.fullmatch(r"[\w.*/-]+/[\w.*/-]*", span) and not span.startswith(NOT_IN_TREE):
            if not glob.glob(os.path.join(ROOT, span)):
                yield f"{page}: {span} is not in the tree"


def reaches(arrows, start):
    seen, todo = set(), [start]
    while todo:
        for nxt in arrows.get(todo.pop(), ()):
            if nxt not in seen:
                seen.add(nxt)
                todo.append(nxt)
    return seen


def layer_offences():
    allowed = {}
    for line in read("tests/static/include_rules.txt").splitlines():
        name, _, rest = line.split("#", 1)[0].partition(":")
        if rest and name.strip() != "win32":
            allowed[name.strip()] = set(rest.split()) - {"resources"}
    arrows = {}
    for a, b in re.findall(r"^\s*(\w+)\s*->\s*(\w+)", read("docs/layers.dot"), re.MULTILINE):
        arrows.setdefault(a, set()).add(b)
        if b not in allowed.get(a, ()):
            yield f"docs/layers.dot: {a} -> {b} is not an include the rules allow"
    for folder, targets in sorted(allowed.items()):
        for target in sorted(targets - reaches(arrows, folder)):
            yield f"docs/layers.dot: no path from {folder} to {target}, which the rules allow"


def help_offences():
    for line in read("Makefile").splitlines():
        m = re.match(r"([a-z0-9-]+):(?!=)", line)
        if m and "## " not in line:
            yield f"Makefile: target {m.group(1)} has no \"## \" line for make help"


def main():
    found = [o for page in PAGES if os.path.exists(os.path.join(ROOT, page)) for o in link_offences(page)]
    found += list(name_offences("docs/architecture.md"))
    found += list(layer_offences())
    found += list(help_offences())
    for offence in found:
        print(offence)
    print(f"{len(found)} offences in the docs' links and names")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
