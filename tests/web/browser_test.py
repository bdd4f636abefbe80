#!/usr/bin/env python3
"""browser_test.py --esbuild E --chromedriver D --runner R --work DIR SCENARIO...

The plug-in's WebAssembly module in a real browser: a page opened from
file:// (bundled by esbuild, as a page of the preview will be) runs each
scenario through the module, and what it shows must be the native runner's
report, or for a refused scenario its one error line.
"""
import argparse
import importlib.machinery
import json
import os
import shutil
import subprocess
import sys
import tempfile
import urllib.parse
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
compare = importlib.machinery.SourceFileLoader(
    "compare_report", str(ROOT / "scripts" / "compare-report")).load_module()

CHROMIUM_FLAGS = ["--no-sandbox", "--headless=new", "--disable-gpu", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update",
                  "--disable-sync"]


def build_page(esbuild, work):
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    subprocess.run([esbuild, str(HERE / "browser-page.js"), "--bundle", "--format=iife",
                    "--log-level=error", f"--outfile={work / 'browser-page.bundle.js'}"],
                   check=True)
    shutil.copy(HERE / "browser-page.html", work / "browser-page.html")
    return work / "browser-page.html"


def start_browser(chromedriver, profile):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in CHROMIUM_FLAGS + [f"--user-data-dir={profile}"]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(chromedriver), options=options)


def shown_in_page(driver, page, scenario_text):
    driver.get(page.as_uri() + "?scenario=" + urllib.parse.quote(scenario_text))
    body = driver.find_element("tag name", "body")
    WebDriverWait(driver, 60).until(lambda _: body.get_attribute("data-state") != "loading")
    return body.get_attribute("data-state"), driver.find_element("id", "report").text


def check(driver, page, runner, scenario):
    native = subprocess.run([runner, str(scenario)], capture_output=True, text=True)
    state, shown = shown_in_page(driver, page, scenario.read_text(encoding="utf-8"))
    problems = []
    if native.returncode == 0:
        if state != "report":
            return [f"the page shows {state}: {shown}"]
        problems = list(compare.differences(json.loads(native.stdout), json.loads(shown)))
    else:
        expected = "ScenarioError: " + native.stderr.rstrip("\n")
        if (state, shown) != ("error", expected):
            problems = [f"the page shows {state}: {shown!r}, expected {expected!r}"]
    errors = [entry["message"] for entry in driver.get_log("browser")
              if entry["level"] == "SEVERE"]
    return problems + [f"console: {message}" for message in errors]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--esbuild", required=True)
    parser.add_argument("--chromedriver", required=True)
    parser.add_argument("--runner", required=True)
    parser.add_argument("--work", required=True, type=Path)
    parser.add_argument("scenarios", nargs="+", type=Path)
    args = parser.parse_args()

    page = build_page(args.esbuild, args.work)
    profile = tempfile.mkdtemp(prefix="zorv-chromium-")
    driver = start_browser(args.chromedriver, profile)
    failed = 0
    try:
        for scenario in args.scenarios:
            problems = check(driver, page, args.runner, scenario)
            print(f"{'FAIL' if problems else 'ok  '} {scenario.name}")
            for line in problems[:20]:
                print(f"     {line}")
            failed += bool(problems)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    passed = len(args.scenarios) - failed
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
