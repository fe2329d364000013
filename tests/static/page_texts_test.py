#!/usr/bin/python3
"""The browser page's texts (src/web/page/): every language's table has exactly the keys of
the English one, and every key the page uses is in it: data-t="KEY" in the HTML, T.KEY,
T["KEY"] and fill(T["KEY"], ...) in the script, and the keys it builds from the words of
the routes ("files-" + a plural category, "text-" + a text word, an upload word)."""
import json
import pathlib
import re
import sys

page = pathlib.Path(__file__).resolve().parents[2] / "src/web/page"
failures = 0


def check(what, good, detail=""):
    global failures
    print(("ok: " if good else "FAIL: ") + what + ("" if good else ": " + detail))
    failures += 0 if good else 1


def words(script, name):  # the strings of `const NAME = [...]` in the script
    found = re.search(r"const %s = \[([^\]]*)\]" % name, script)
    return re.findall(r'"([^"]+)"', found.group(1)) if found else []


html = (page / "page.html").read_text(encoding="utf-8")
script = (page / "page.js").read_text(encoding="utf-8")
used = set(re.findall(r'data-t="([^"]+)"', html))
used |= set(re.findall(r'\bT\.([A-Za-z_]\w*)', script))
used |= set(re.findall(r'\bT\["([^"]+)"\]', script))
upload_words, text_words = words(script, "UPLOAD_WORDS"), words(script, "TEXT_WORDS")
check("the script lists the words of the routes", upload_words and text_words)
used |= set(upload_words) | {"text-" + w for w in text_words + ["failed"]}
used |= {"files-" + c for c in ("one", "few", "many", "other")}  # every category of Intl.PluralRules in use

english = json.loads((page / "texts_en.json").read_text(encoding="utf-8"))
check("every key the page uses is in the English table", used <= english.keys(), ", ".join(sorted(used - english.keys())))
for table in sorted(page.glob("texts_*.json")):
    texts = json.loads(table.read_text(encoding="utf-8"))
    keys = texts.keys()
    check(table.name + " has the English keys", keys == english.keys(),
          "missing " + ", ".join(sorted(english.keys() - keys)) + "; extra " + ", ".join(sorted(keys - english.keys())))
    empty = [k for k, v in texts.items() if not isinstance(v, str) or not v.strip()]
    check(table.name + ": every text is a text", not empty, ", ".join(empty))
    holes = [k for k, v in texts.items() if set(re.findall(r"\{\w+\}", v)) != set(re.findall(r"\{\w+\}", english[k]))]
    check(table.name + ": the same {placeholders} as English", not holes, ", ".join(holes))
sys.exit(1 if failures else 0)
