#!/usr/bin/python3
"""The access page in a real browser (headless Chromium), state by state.

Usage: page_client.py URL LANG WORK SHOTS OFFERED TEXT [--all] [--resume BIG1 BIG2]
WORK holds "Trip" (a folder to upload: a.txt of 1024 bytes, sub/b.txt of 512) and gets
"downloads" and "Many"; OFFERED is the folder the computer offers (more files may be written
into it); TEXT is the text the computer offers. In every language: the size and plural
texts, a folder upload held in flight (pictures at phone and desktop width, light and dark,
into SHOTS), Cancel all and the whole it leaves, then the folder sent and its summary across
a reload. With --all also: the keyboard path, drops of folders, a refusal, cancelling a row,
text both ways, the offered list (folders, filter, zips, Refresh), a long folder's rows
sorted and folded, and axe-core with no violation in each state. With --resume, through a
proxy that cuts the network: BIG1 goes on by itself once the network is back, and BIG2
goes on from its offset after a reload.
Prints "ok: ..." / "FAIL: ..." / "skip: ..."; the exit status is the number of failures.
"""
import os
import sys
import urllib.parse
import time
import zipfile

from selenium.webdriver.common.by import By
from selenium.common.exceptions import TimeoutException, WebDriverException
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions
from selenium.webdriver.support.ui import WebDriverWait

import chromium
from chromium import check, start, wait_for
from cut_proxy import CutProxy

url, lang, work, shots, offered_dir, their_text = sys.argv[1:7]
everything = "--all" in sys.argv
big = sys.argv[sys.argv.index("--resume") + 1:][:2] if "--resume" in sys.argv else []
root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
axe_source = open(os.path.join(root, "node_modules/axe-core/axe.min.js"), encoding="utf-8").read()
downloads = os.path.join(work, "downloads")
os.makedirs(downloads, exist_ok=True)
os.makedirs(shots, exist_ok=True)

# What each language says: the program's size texts with its decimal separator, the plural
# forms, and the summary of the folder sent (two files, 1536 bytes).
SIZES = [(0, "0 B"), (1, "1 B"), (1023, "1023 B"), (1024, "1 kB"), (1100, "1.07 kB"), (1536, "1.5 kB"),
         (10240, "10 kB"), (1048575, "1023.99 kB"), (1048576, "1 mB"), (5 << 29, "2.5 gB"), (1 << 60, "1024 pB")]
LANGUAGES = {
    "en": {"files": {1: "1 file", 2: "2 files", 5: "5 files", 21: "21 files"},
           "summary": "2 files, 1.5 kB sent to this computer", "cancelled": "cancelled"},
    "es": {"files": {1: "1 archivo", 2: "2 archivos", 5: "5 archivos", 21: "21 archivos"},
           "summary": "Envío a este equipo: 2 archivos, 1,5 kB", "cancelled": "cancelado"},
    "ru": {"files": {1: "1 файл", 2: "2 файла", 5: "5 файлов", 21: "21 файл", 22: "22 файла", 11: "11 файлов"},
           "summary": "Отправлено на этот компьютер: 2 файла, 1,5 kB", "cancelled": "отменён"},
}
said = LANGUAGES[lang]
separator = "." if lang == "en" else ","

browser = start(downloads)
js = browser.execute_script
# In every page loaded: the name of each upload the page starts (a PUT's, or a resumable
# one's when it is made) in window.sent, which a reload empties; an upload whose name
# matches window.holding is held before it leaves, until it is cancelled.
browser.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": """
window.sent = []; window.holding = null;
const x = XMLHttpRequest.prototype, open = x.open, header = x.setRequestHeader, send = x.send, abort = x.abort;
x.open = function (method, target) {
  this.upload_name = method === "PUT" ? decodeURIComponent(target.split("name=")[1]) : null;
  return open.apply(this, arguments); };
x.setRequestHeader = function (name, value) {
  if (name === "Upload-Metadata")
    this.upload_name = new TextDecoder().decode(Uint8Array.from(atob(value.split(" ")[1]), c => c.charCodeAt(0)));
  return header.apply(this, arguments); };
x.send = function () {
  if (this.upload_name !== null) window.sent.push(this.upload_name);
  if (this.upload_name !== null && window.holding && window.holding.test(this.upload_name)) return void (this.held = true);
  return send.apply(this, arguments); };
x.abort = function () {
  if (!this.held) return abort.apply(this, arguments);
  this.held = false;
  this.dispatchEvent(new ProgressEvent("abort")); };"""})


def states():
    return [e.text for e in browser.find_elements(By.CSS_SELECTOR, "#uploads .state")]


def settled():
    found = states()
    moving = [said_word(w) for w in ("waiting", "sending", "retrying", "busy")]
    return found if found and not any(s in moving for s in found) else None


def text_of(script, *args):  # a text of the page, its no-break spaces as spaces
    return js(script, *args).replace("\u00a0", " ")


def said_word(key):
    return js("return T[arguments[0]]", key)


def dark(on):
    browser.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": [
        {"name": "prefers-color-scheme", "value": "dark" if on else "light"}]})


NAMED = {"button", "link", "progressbar", "textbox", "searchbox"}


def axe(state):
    tree = browser.execute_cdp_cmd("Accessibility.getFullAXTree", {})["nodes"]
    nameless = [n["role"]["value"] for n in tree if not n.get("ignored") and n.get("role", {}).get("value") in NAMED
                and not n.get("name", {}).get("value", "").strip()]
    check("every control and progress bar has a name, %s" % state, not nameless, nameless)
    for scheme in ("light", "dark"):
        dark(scheme == "dark")
        if not js("return !!window.axe"):
            js(axe_source)
        found = browser.execute_async_script(
            "const done = arguments[0]; axe.run(document).then(r => done(r.violations.map("
            "v => v.id + ': ' + v.nodes.map(n => n.target.join(' ')).join(', '))))")
        check("axe-core: no violation %s, %s" % (state, scheme), not found, "; ".join(found))
    dark(False)


def pictures(state):
    for scheme in ("light", "dark"):
        dark(scheme == "dark")
        for kind, width, height in (("phone", 390, 844), ("desktop", 1280, 1500)):
            browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": height, "deviceScaleFactor": 1, "mobile": kind == "phone"})
            time.sleep(0.3)
            wide = js("return document.documentElement.scrollWidth")
            check("no sideways scrolling, %s %s" % (kind, scheme), wide <= width, "%d pixels wide" % wide)
            browser.save_screenshot(os.path.join(shots, "page-%s-%s-%s-%s.png" % (state, lang, kind, scheme)))
    browser.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    dark(False)


def hold_uploads(pattern):  # uploads whose names match stay in flight, held before they leave
    js("window.holding = arguments[0] ? new RegExp(arguments[0]) : null", pattern)


def pick_folder(name="Trip"):
    browser.find_element(By.ID, "pickFolder").send_keys(os.path.join(work, name))


def labels():  # also of rows folded away
    return js("return Array.from(document.querySelectorAll('#uploads li > .row > span:first-child'), e => e.textContent)")


def overall():
    return js("return [document.getElementById('overallBar').value, document.getElementById('overallText').textContent]")


def formats():
    for n, text in SIZES:
        got = text_of("return size(arguments[0])", n)
        check("size(%d) = %s" % (n, text.replace(".", separator)), got == text.replace(".", separator), got)
    for n, text in said["files"].items():
        got = text_of("return files(arguments[0])", n)
        check("files(%d) = %s" % (n, text), got == text, got)


def folder_in_flight():  # the first file saved, the second held in flight
    hold_uploads("^Trip/sub/")
    pick_folder()
    rows = wait_for(labels, 5)
    check("the folder's files are listed with their paths", rows == ["Trip/a.txt", "Trip/sub/b.txt"], rows)
    check("one saved, the next sending", wait_for(lambda: states() == [said_word("saved"), said_word("sending")], 10), states())
    if everything:
        axe("while sending")
    pictures("sending")


def cancel_all(held):
    browser.find_element(By.ID, "cancelAll").click()
    check("Cancel all: what was not saved is cancelled",
          wait_for(lambda: states()[-held:] == [said["cancelled"]] * held, 10), states())
    check("All files then counts only what was saved", overall()[0] == 1, overall())
    hold_uploads(None)


def folder_sent():
    js("document.getElementById('uploads').replaceChildren(); sessionStorage.clear(); location.reload()")
    wait_for(lambda: browser.find_elements(By.CSS_SELECTOR, "#offered li"), 10)
    pick_folder()
    done = wait_for(settled, 60) or []
    check("the folder's files saved", done == [said_word("saved")] * 2, done)
    check("sent with their relative paths", sorted(js("return sent")) == ["Trip/a.txt", "Trip/sub/b.txt"], js("return sent"))
    summary = text_of("return document.getElementById('summary').textContent")
    check("the summary in the page's language", summary == said["summary"], summary)
    browser.refresh()
    again = wait_for(lambda: text_of("return document.getElementById('summary').textContent"), 10)
    check("the results stay across a reload", again == summary and states() == done, "%s %s" % (again, states()))


# ---- the checks of --all (English)
ORDER = ["chooseFiles", "chooseFolder", "textOut", "sendText", "refresh", "textIn", "copy", "downloadAll", "filter"]


def keyboard():
    js("""window.picked = [];
for (const id of ["pickFiles", "pickFolder"]) document.getElementById(id).click = () => picked.push(id);""")
    js("document.activeElement.blur(); window.focus()")
    body = browser.find_element(By.TAG_NAME, "body")
    links = len(browser.find_elements(By.CSS_SELECTOR, "#offered a"))
    seen = []
    for _ in range(len(ORDER) + links):
        body.send_keys(Keys.TAB) if not seen else browser.switch_to.active_element.send_keys(Keys.TAB)
        seen.append(js("const e = document.activeElement; return e.id || e.tagName + ':' + e.textContent.slice(0, 40)"))
    check("Tab reaches every control in order", seen[:len(ORDER)] == ORDER, seen)
    check("then every link of the offered list", all(s.startswith("A:") for s in seen[len(ORDER):]), seen)
    outline = js("return getComputedStyle(document.activeElement).outlineStyle")
    check("focus is visible", outline == "solid", outline)
    for key, name, picked in ((Keys.ENTER, "chooseFiles", "pickFiles"), (Keys.SPACE, "chooseFolder", "pickFolder")):
        browser.find_element(By.ID, name).send_keys(key)
        check("%s opens its picker from the keyboard" % name, js("return picked").pop() == picked if js("return picked") else False)


def drops():
    # A folder as the browser hands it: entries read in batches, as Chromium gives 100 at a time.
    not_taken = js("""
const file = (name, text) => ({isFile: true, isDirectory: false, name, file: ok => ok(new File([text], name))});
const folder = (name, batches) => ({isFile: false, isDirectory: true, name,
  createReader: () => { const left = batches.slice(); return {readEntries: ok => ok(left.shift() || [])}; }});
const tree = folder("Dropped", [[file("one.txt", "one")], [folder("deep", [[file("two.txt", "2"), file("..", "x")]])]]);
const data = {items: [{kind: "file", webkitGetAsEntry: () => tree}], files: []};
const drop = new Event("drop", {bubbles: true, cancelable: true});
Object.defineProperty(drop, "dataTransfer", {value: data});
return document.body.dispatchEvent(drop);""")
    check("a drop outside the zone does not navigate", not_taken is False)
    done = wait_for(settled, 30) or []
    check("the dropped folder's files are sent with their paths",
          sorted(js("return sent")) == ["Dropped/deep/..", "Dropped/deep/two.txt", "Dropped/one.txt"], js("return sent"))
    refused = dict(zip(labels(), states())).get("Dropped/deep/..")
    check("a name the computer refuses says so", refused == said_word("bad-name"), done)
    js("""const data = new DataTransfer(); data.items.add(new File(["loose"], "loose.txt"));
document.getElementById("drop").dispatchEvent(new DragEvent("drop", {bubbles: true, cancelable: true, dataTransfer: data}));""")
    check("a dropped file is sent", wait_for(lambda: "loose.txt" in js("return sent") and settled(), 10), js("return sent"))
    axe("with a refusal")


def cancel_row():
    hold_uploads(".")
    before = len(browser.find_elements(By.CSS_SELECTOR, "#uploads li"))  # earlier steps' rows stay listed
    pick_folder()
    wait_for(lambda: len(browser.find_elements(By.CSS_SELECTOR, "#uploads li")) >= before + 2, 5)
    last = browser.find_elements(By.CSS_SELECTOR, "#uploads li")[-1]
    last.find_element(By.TAG_NAME, "button").send_keys(Keys.ENTER)
    check("a row cancelled by its button", last.find_element(By.CSS_SELECTOR, ".state").text == said["cancelled"])
    check("the keyboard goes on from Cancel all", js("return document.activeElement.id") == "cancelAll",
          js("const e = document.activeElement; return e.tagName + '#' + e.id"))
    check("the one in flight goes on", states()[-2] == said_word("sending"), states())
    cancel_all(2)


def texts():
    shown = browser.find_element(By.ID, "textIn").get_attribute("value")
    check("the computer's text is shown as text", shown == their_text and not js(
        "return document.querySelector('#theirText b')"), shown)
    axe("with a text received")
    browser.find_element(By.ID, "copy").send_keys(Keys.SPACE)
    check("Copy says Copied", wait_for(lambda: browser.find_element(By.ID, "copyState").text == said_word("copied"), 5),
          browser.find_element(By.ID, "copyState").text)
    box = browser.find_element(By.ID, "textOut")
    box.send_keys(Keys.CONTROL, "v")
    check("Copy put the text on the clipboard", box.get_attribute("value") == their_text, box.get_attribute("value"))
    js("const b = document.getElementById('textOut'); b.value = 'x'.repeat(65537); b.dispatchEvent(new Event('input'))")
    browser.find_element(By.ID, "sendText").send_keys(Keys.ENTER)
    check("a text over 65536 bytes is stopped before it is sent",
          browser.find_element(By.ID, "textResult").text.startswith("Too long") and
          "bad" in browser.find_element(By.ID, "textCount").get_attribute("class"))
    js("const b = document.getElementById('textOut'); b.value = 'x'.repeat(65536); b.dispatchEvent(new Event('input'))")
    check("Too long goes once the text fits", browser.find_element(By.ID, "textResult").text == "",
          browser.find_element(By.ID, "textResult").text)
    js("document.getElementById('textOut').value = ''")
    # Typed as an input method commits it: some ChromeDriver versions type only characters
    # of the Basic Multilingual Plane, and the text must carry one beyond it.
    browser.execute_script("arguments[0].focus()", box)
    browser.execute_cdp_cmd("Input.insertText", {"text": "Grüße, мир 👋 <i>not markup</i>"})
    browser.find_element(By.ID, "sendText").send_keys(Keys.ENTER)
    result = wait_for(lambda: browser.find_element(By.ID, "textResult").text.startswith("Shown") and
                      browser.find_element(By.ID, "textResult").text, 10)
    check("Send text: the computer showed it", result == said_word("text-shown"), result)
    box.send_keys(Keys.CONTROL, "a")
    box.send_keys(Keys.BACKSPACE)


def offered_list():
    names = js("return Array.from(document.querySelectorAll('#offered li.file'), li => li.dataset.name)")
    check("the offered list is sorted", names == sorted(names), names)
    folder = browser.find_element(By.CSS_SELECTOR, "#offered li.folder a").get_attribute("href")
    check("a folder row downloads its folder", folder.endswith("/zip?folder=Photos"), folder)
    filter_box = browser.find_element(By.ID, "filter")
    filter_box.send_keys("sub")
    shown = js("return Array.from(document.querySelectorAll('#offered li.file:not([hidden])'), li => li.dataset.name)")
    check("the filter keeps what matches", shown == ["Photos/sub/deep.txt"], shown)
    filter_box.clear()
    filter_box.send_keys("zzz")
    said_none = "const e = document.getElementById('noMatch'); return e && !e.hidden ? e.textContent : ''"
    check("a filter that matches nothing says so", "zzz" in js(said_none), js(said_none))
    axe("with a filter that matches nothing")
    filter_box.clear()
    js("arguments[0].dispatchEvent(new Event('input'))", filter_box)
    check("and says nothing once it matches", not js(said_none), js(said_none))
    if js("return fetch('zip', {method: 'HEAD'}).then(r => r.status)") != 200:
        chromium.skip("the zips of Download all and Download folder", "GET zip is not answered here")
    else:
        for link, name, prefix in (("#downloadAll", "Quorvalinthexa.zip", ""), ("#offered li.folder a", "Photos.zip", "Photos/")):
            browser.find_element(By.CSS_SELECTOR, link).click()
            path = os.path.join(downloads, name)
            wait_for(lambda: os.path.exists(path) and not any(n.endswith(".crdownload") for n in os.listdir(downloads)), 30)
            try:
                got = sorted(zipfile.ZipFile(path).namelist())
            except (OSError, zipfile.BadZipFile) as e:
                got = str(e)
            want = sorted(n for n in js("return offeredNames") if n.startswith(prefix))
            check("%s holds %s" % (name, "every offered file" if not prefix else "the folder"), got == want, got)
    with open(os.path.join(offered_dir, "Photos", "new.txt"), "w") as f:
        f.write("new")
    browser.find_element(By.ID, "refresh").send_keys(Keys.ENTER)
    check("Refresh shows a new file", wait_for(lambda: js(
        "return !!document.querySelector('#offered li.file[data-name=\"Photos/new.txt\"]')"), 10))


def long_folder():  # more rows than a screen: sorted as people count, folded into one line
    names = ["img%d.jpg" % n for n in (7, 12, 1, 10, 3, 11, 2, 9, 5, 8, 4, 6)]
    os.makedirs(os.path.join(work, "Many"), exist_ok=True)
    for name in names:
        with open(os.path.join(work, "Many", name), "w") as f:
            f.write(name)
    pick_folder("Many")
    wait_for(settled, 30)
    rows = labels()[-len(names):]
    check("a folder's rows are sorted", rows == ["Many/img%d.jpg" % n for n in range(1, 13)], rows)
    line = browser.find_elements(By.ID, "foldLine")
    want = (said_word("upload-list") or "").replace("{files}", text_of("return files(arguments[0])", len(labels())))
    folded = line and line[0].is_displayed() and not js("return fold.open")
    check("a long list folds into one line", folded and line[0].text.replace("\u00a0", " ") == want,
          line and line[0].text)
    axe("with the list folded")
    pictures("folded")
    if folded:
        line[0].click()
    check("the line opens the list", folded and js("return fold.open") and
          browser.find_elements(By.CSS_SELECTOR, "#uploads li")[-1].is_displayed())


def reloaded():
    try:
        return js("return !window.before_reload && !!document.querySelector('#offered li')")
    except WebDriverException:  # still on its way
        return False


def resume(first, second):  # through a proxy that cuts the network as the test says
    where = urllib.parse.urlsplit(url)
    proxy = CutProxy(where.hostname, where.port)
    page = "http://127.0.0.1:%d%s" % (proxy.port, where.path)
    browser.get(page)
    wait_for(lambda: browser.find_elements(By.CSS_SELECTOR, "#offered li"), 10)
    size = os.path.getsize(first)
    proxy.cut_at = proxy.sent + size // 3
    browser.find_element(By.ID, "pickFiles").send_keys(first)
    check("the network goes during an upload", proxy.down.wait(60))
    check("the page says it tries again", wait_for(lambda: states() == [said_word("retrying")], 10), states())
    axe("while trying again")
    pictures("retrying")
    proxy.restore()
    js("window.dispatchEvent(new Event('online'))")
    check("once it is back the upload goes on by itself", wait_for(settled, 120) == [said_word("saved")], states())
    proxy.cut_at = proxy.sent + size // 3
    browser.find_element(By.ID, "pickFiles").send_keys(second)
    proxy.down.wait(60)
    check("leaving while an upload runs asks first",
          js("const e = new Event('beforeunload', {cancelable: true}); dispatchEvent(e); return e.defaultPrevented"))
    js("window.before_reload = true; setTimeout(() => location.reload())")
    try:  # a browser asks only on a page the user has worked with
        WebDriverWait(browser, 1).until(expected_conditions.alert_is_present()).accept()
    except TimeoutException:
        pass
    proxy.restore()
    browser.get(page)  # reloaded once more now that the network is back
    wait_for(reloaded, 10)
    before = proxy.sent
    browser.find_element(By.ID, "pickFiles").send_keys(second)
    check("after a reload the same file is saved", wait_for(settled, 120) == [said_word("saved")] * 2, states())
    again = proxy.sent - before
    check("and only what was missing went again (%d of %d bytes)" % (again, size), again < size * 3 // 4)


try:
    browser.get(url)
    check("the page's title", browser.title == "Quorvalinthexa", browser.title)
    wait_for(lambda: browser.find_elements(By.CSS_SELECTOR, "#offered li"), 10)
    formats()
    if everything:
        js("fetch('files').then(r => r.json()).then(f => { window.offeredNames = f.map(x => x.name); })")
        axe("when empty")
        keyboard()
        offered_list()
        texts()
    folder_in_flight()
    cancel_all(1)
    if everything:
        cancel_row()
    folder_sent()
    if everything:
        axe("with results")
        drops()
        long_folder()
    if big:
        resume(*big)
finally:
    browser.quit()
sys.exit(chromium.failures)
