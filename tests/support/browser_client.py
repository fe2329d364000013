#!/usr/bin/python3
"""A real browser on the access page: headless Chromium driven through chromedriver.

Usage: browser_client.py URL DOWNLOADS SCREENSHOTS FILE... [--get NAME]
Uploads every FILE through the page's file picker, waits until each says "saved",
downloads the offered file NAME (if given) into DOWNLOADS, and takes the page's
pictures at phone and desktop width into SCREENSHOTS. Prints "ok: ..." or "FAIL: ...";
the exit status is the number of failures.
"""
import os
import sys
import time

from selenium.webdriver.common.by import By

from chromium import check, start, wait_for
import chromium

args = sys.argv[1:]
get = None
if "--get" in args:
    at = args.index("--get")
    get = args[at + 1]
    del args[at:at + 2]
url, downloads, shots, files = args[0], args[1], args[2], args[3:]
browser = start(downloads)
try:
    browser.get(url)
    check("the page's title", browser.title == "Quorvalinthexa", browser.title)
    offered = wait_for(lambda: browser.find_elements(By.CSS_SELECTOR, "#offered li.file"), 10)

    browser.find_element(By.ID, "pickFiles").send_keys("\n".join(files))
    rows = browser.find_elements(By.CSS_SELECTOR, "#uploads li")
    check("one row per file", len(rows) == len(files), "%d rows" % len(rows))

    def states():
        found = [e.text for e in browser.find_elements(By.CSS_SELECTOR, "#uploads .state")]
        return found if found and all(not s.startswith(("sending", "waiting")) for s in found) else None
    results = wait_for(states, 300) or []
    for name, result in zip(files, results):
        check("upload of %s: %s" % (os.path.basename(name), result), result == "saved")
    overall = browser.find_element(By.ID, "overallBar").get_attribute("value")
    check("the overall bar is full", float(overall) == 1.0, overall)

    if get:
        names = [li.get_attribute("data-name") for li in offered]
        links = [li.find_element(By.TAG_NAME, "a") for li in offered if li.get_attribute("data-name") == get]
        check("the file %s is offered" % get, bool(links), ", ".join(names))
        if links:
            links[0].click()
            target = os.path.join(downloads, os.path.basename(get))
            done = wait_for(lambda: os.path.exists(target) and not any(
                n.endswith(".crdownload") for n in os.listdir(downloads)), 60)
            check("the download arrived under its name", bool(done), str(os.listdir(downloads)))

    browser.set_window_size(1280, 900)
    browser.save_screenshot(os.path.join(shots, "browser-desktop.png"))
    browser.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                            {"width": 360, "height": 780, "deviceScaleFactor": 2, "mobile": True})
    time.sleep(0.3)
    wide = browser.execute_script("return document.documentElement.scrollWidth")
    check("no sideways scrolling at 360 pixels", wide <= 360, "%d pixels wide" % wide)
    browser.save_screenshot(os.path.join(shots, "browser-phone.png"))
finally:
    browser.quit()
sys.exit(chromium.failures)
