#!/usr/bin/env python3
"""Every #include under src/ points down the layers of tests/static/include_rules.txt:
each "..." include is mapped to (folder of the includer -> folder of the included) and
a pair the rules do not list fails, as does an include that names no file. Win32 headers
and *_win32 files are refused outside the places the rules' "win32:" line names.
Prints one line per offence, then how many."""
import fnmatch
import os
import re
import sys

ROOT = os.environ.get("QV_ROOT") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SRC = os.path.join(ROOT, "src")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
WIN32_HEADER = re.compile(
    r"^(win\w*|ws2\w*|iphlpapi|commctrl|commdlg|shellapi|shlobj|shobjidl|shlwapi|objbase|"
    r"objidl|ole2|oleauto|gdiplus|mswsock|uxtheme|mmsystem|tchar|psapi|tlhelp32|dbghelp)\.h$",
    re.IGNORECASE)


def read_rules(path):
    """{folder: set of folders it may include}, and the win32 places."""
    allowed, win32 = {}, []
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            name, _, rest = line.partition(":")
            if name == "win32":
                win32 = rest.split()
            else:
                allowed[name] = set(rest.split())
    return allowed, win32


def cycle(allowed):
    """A folder that reaches itself through the rules, or None: the layers must be a stack."""
    def reaches(start, node, seen):
        for nxt in allowed.get(node, ()):
            if nxt == start or (nxt not in seen and reaches(start, nxt, seen | {nxt})):
                return True
        return False
    return next((name for name in allowed if reaches(name, name, {name})), None)


def folder_of(includer_folder, target):
    """The folder an included file lives in ("resources" for resources/), or None."""
    if "/" in target:
        return target.split("/")[0] if os.path.isfile(os.path.join(SRC, target)) else None
    if os.path.isfile(os.path.join(SRC, includer_folder, target)):
        return includer_folder
    res = os.path.join(ROOT, "resources", target)
    return "resources" if os.path.isfile(res) or os.path.isfile(res + ".in") else None


def offences(allowed, win32):
    found = []
    looped = cycle(allowed)
    if looped:
        found.append(f"include_rules.txt: {looped} reaches itself; the layers must not loop")
    for dirpath, _, names in sorted(os.walk(SRC)):
        for name in sorted(names):
            rel = os.path.relpath(os.path.join(dirpath, name), SRC).replace(os.sep, "/")
            folder = rel.split("/")[0] if "/" in rel else ""
            if folder not in allowed:
                found.append(f"src/{rel}: folder '{folder}' is not in include_rules.txt")
                continue
            win32_place = any(fnmatch.fnmatch(rel, p) or rel.startswith(p + "/") for p in win32)
            if re.search(r"_win32\.\w+$", name) and not win32_place:
                found.append(f"src/{rel}: a *_win32 file in portable {folder}/")
            with open(os.path.join(dirpath, name), errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    kind, target = m.groups()
                    where = f"src/{rel}:{number}"
                    if kind == "<":
                        if WIN32_HEADER.match(target) and not win32_place:
                            found.append(f"{where}: <{target}> in portable {folder}/")
                        continue
                    to = folder_of(folder, target)
                    if to is None:
                        found.append(f'{where}: "{target}" names no file under src/ or resources/')
                    elif to != folder and to not in allowed[folder]:
                        found.append(f'{where}: {folder} -> {to} ("{target}") is not allowed; '
                                     f"{folder} may include: {' '.join(sorted(allowed[folder])) or 'nothing'}")
    return found


def main():
    allowed, win32 = read_rules(os.path.join(ROOT, "tests", "static", "include_rules.txt"))
    found = offences(allowed, win32)
    for line in found:
        print("FAIL: " + line)
    print(f"{len(found)} include offence(s)" if found else "every include points down")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
