"""Headless Chromium through chromedriver for the browser tests, and the counted checks
their drivers print ("ok: ..." or "FAIL: ..."; "skip: ..." for a check that cannot run)."""
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

failures = 0


def check(what, good, detail=""):
    global failures
    print(("ok: " if good else "FAIL: ") + what + ("" if good else " (" + str(detail) + ")"), flush=True)
    failures += 0 if good else 1


def skip(what, why):
    print("skip: %s (%s)" % (what, why), flush=True)


def wait_for(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.2)
    return condition()


def start(downloads):
    options = webdriver.ChromeOptions()
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--no-first-run", "--disable-extensions", "--window-size=1280,900"):
        options.add_argument(flag)
    options.add_experimental_option("prefs", {"download.default_directory": downloads,
                                              "download.prompt_for_download": False})
    browser = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    browser.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    return browser
