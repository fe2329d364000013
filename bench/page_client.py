#!/usr/bin/python3
"""The access page in headless Chromium uploading many files, timed (bench/page.py runs it
with Debian's python3, which has selenium).

Usage: page_client.py URL LIST
LIST names the files, one path a line. They are chosen through the page's file input, as
a user picks them; the time runs from the choice until every row the page shows for them
has its outcome (a state marked good or bad), whether the page sends them one after the
other or several at once. Prints "seconds N good G bad B"; exits 1 when the page did not
finish within its time.
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from selenium.webdriver.common.by import By  # noqa: E402

import chromium  # noqa: E402

# Resolves with [good, bad] once the rows with an outcome number at least arguments[0],
# or after arguments[1] milliseconds with what there is then. Looked at every 10 ms.
AWAIT_DONE = """const [want, limit, done] = arguments;
const count = sel => document.querySelectorAll("#uploads .state." + sel).length;
const end = performance.now() + limit;
(function look() {
  const good = count("good"), bad = count("bad");
  if (good + bad >= want || performance.now() > end) return done([good, bad]);
  setTimeout(look, 10);
})();"""
LIMIT_SECONDS = 300

url, listing = sys.argv[1:3]
with open(listing) as f:
    paths = [line.rstrip("\n") for line in f if line.strip()]
work = os.path.dirname(listing)
browser = chromium.start(os.path.join(work, "downloads"))
try:
    browser.set_script_timeout(LIMIT_SECONDS + 10)
    browser.get(url)
    chromium.wait_for(lambda: browser.execute_script("return document.readyState") == "complete", 30)
    picker = browser.find_element(By.ID, "pickFiles")
    start = time.perf_counter()
    picker.send_keys("\n".join(paths))
    good, bad = browser.execute_async_script(AWAIT_DONE, len(paths), LIMIT_SECONDS * 1000)
    seconds = time.perf_counter() - start
finally:
    browser.quit()
print("seconds %.3f good %d bad %d" % (seconds, good, bad))
sys.exit(0 if good + bad >= len(paths) else 1)
