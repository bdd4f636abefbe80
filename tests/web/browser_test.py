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
import urllib.parse
from pathlib import Path

from selenium.webdriver.support.ui import WebDriverWait

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
sys.path.insert(0, str(ROOT / "tests" / "browser"))
from chromium import start_chromium, stop_chromium  # noqa: E402
compare = importlib.machinery.SourceFileLoader(
    "compare_report", str(ROOT / "scripts" / "compare-report")).load_module()


def build_page(esbuild, work):
    if work.exists():
        shutil.rmtree(work)
    work.mkdir(parents=True)
    subprocess.run([esbuild, str(HERE / "browser-page.js"), "--bundle", "--format=iife",
                    "--log-level=error", f"--outfile={work / 'browser-page.bundle.js'}"],
                   check=True)
    shutil.copy(HERE / "browser-page.html", work / "browser-page.html")
    return work / "browser-page.html"


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
    driver = start_chromium(chromedriver=args.chromedriver)
    failed = 0
    try:
        for scenario in args.scenarios:
            problems = check(driver, page, args.runner, scenario)
            print(f"{'FAIL' if problems else 'ok  '} {scenario.name}")
            for line in problems[:20]:
                print(f"     {line}")
            failed += bool(problems)
    finally:
        stop_chromium(driver)
    passed = len(args.scenarios) - failed
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
