"""Debian's headless Chromium, driven through its chromedriver, as the
WebAssembly module's browser test (tests/web/browser_test.py) starts it.

A brand-new Debian root has no /etc/hosts, so "localhost" names nothing
there. Selenium's service reaches chromedriver by that name, and chromedriver
reaches Chromium's DevTools port by it too; so here chromedriver is reached
by its address, 127.0.0.1, and talks to Chromium over a pipe instead of a
port. Both work the same on a machine that does have the name."""
import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common import utils

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
# As root Chromium needs --no-sandbox; the background services would only
# knock on a closed network.
FLAGS = ("--no-sandbox", "--headless=new", "--disable-gpu", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--remote-debugging-pipe")


class LoopbackService(Service):
    """chromedriver, reached at 127.0.0.1 rather than by name."""

    @property
    def service_url(self):
        return f"http://127.0.0.1:{self.port}"

    def is_connectable(self):
        return utils.is_connectable(self.port, "127.0.0.1")


def start_chromium(extra_flags=(), prefs=None, chromedriver=CHROMEDRIVER):
    """A driver with a fresh profile and the console log kept; stop it with
    stop_chromium, which also removes the profile."""
    options = Options()
    options.binary_location = shutil.which("chromium") or CHROMIUM
    profile = tempfile.mkdtemp(prefix="zorv-chromium-")
    for flag in FLAGS + tuple(extra_flags) + (f"--user-data-dir={profile}",):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    if prefs:
        options.add_experimental_option("prefs", prefs)
    driver = webdriver.Chrome(service=LoopbackService(chromedriver), options=options)
    driver.zorv_profile = profile
    return driver


def stop_chromium(driver):
    try:
        driver.quit()
    finally:
        shutil.rmtree(driver.zorv_profile, ignore_errors=True)
