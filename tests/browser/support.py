"""Headless Chromium (Debian's, through chromedriver) on the single-file
page opened from file://, and the command-line preview to hold it against."""
import glob
import os
import subprocess
import time
import urllib.parse

from selenium.webdriver.common.by import By

from chromium import start_chromium, stop_chromium

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
PAGE = os.environ.get("ZORV_PAGE", os.path.join(ROOT, "build", "page", "ZorvTempo-Preview.html"))
CLI = os.path.join(ROOT, "preview", "node", "cli.js")
SCORES = os.path.join(ROOT, "tests", "preview", "scores")
OUT = os.path.join(ROOT, "build", "page")
WAIT_SECONDS = 20


def page_url(query=""):
    return "file://" + urllib.parse.quote(PAGE) + query


def start_browser(downloads, width=1200, height=1600):
    driver = start_chromium(
        ("--autoplay-policy=no-user-gesture-required", f"--window-size={width},{height}"),
        prefs={"download.default_directory": downloads, "download.prompt_for_download": False})
    driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                           {"behavior": "allow", "downloadPath": downloads})
    return driver


def stop_browser(driver):
    stop_chromium(driver)


def wait_for(condition, what, seconds=WAIT_SECONDS):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError(f"timed out waiting for {what}")


def status(driver):
    return driver.find_element(By.ID, "status").text


def wait_settled(driver):
    """The status once the page has answered the inputs on the form."""
    return wait_for(lambda: (s := status(driver)) not in ("", "Working...", "Loading the plug-in...") and s,
                    "the page to show a result or an error")


def open_page(driver, query=""):
    driver.get(page_url(query))
    return wait_settled(driver)


def text(driver, element_id):
    return driver.find_element(By.ID, element_id).text


def records(driver):
    """The records table's rows, the table opened first (it fills when open)."""
    details = driver.find_element(By.ID, "records-details")
    if not details.get_attribute("open"):
        details.find_element(By.TAG_NAME, "summary").click()
    # The toggle event comes after the click; a result has at least one record.
    rows = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "#records tbody tr"), "the records")
    return [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")] for row in rows]


def console_errors(driver):
    return [entry for entry in driver.get_log("browser") if entry["level"] in ("SEVERE", "ERROR")]


def wait_download(folder, pattern, seconds=WAIT_SECONDS):
    """The one finished file matching pattern in folder."""
    def done():
        found = [p for p in glob.glob(os.path.join(folder, pattern))
                 if not p.endswith(".crdownload")]
        partial = glob.glob(os.path.join(folder, "*.crdownload"))
        return found[0] if len(found) == 1 and not partial else None
    return wait_for(done, f"the download {pattern}", seconds)


def run_cli(*args):
    done = subprocess.run(["node", CLI, *args], capture_output=True, text=True, cwd=ROOT)
    if done.returncode != 0:
        raise AssertionError(f"preview {' '.join(args)} failed ({done.returncode}): {done.stderr}")
    return done.stdout


def cli_sections(stdout):
    """The parts of the command line's output the page shows as text."""
    lines = stdout.splitlines()
    records_at = lines.index("Tempo records in the score after the ramp:")
    table = []
    for line in lines[records_at + 2:]:
        if not line.strip():
            break
        table.append(line.split())
    summary = []
    for line in lines[records_at + 2 + len(table) + 1:]:
        if not line.strip():
            break
        summary.append(line)
    finale = lines[next(i for i, l in enumerate(lines) if l.startswith("In Finale:")):]
    fit = [l for l in lines if l.startswith("Fit:") or l.startswith("  neighbour")]
    header = lines[:next(i for i, l in enumerate(lines) if not l.strip())]
    return {"header": header, "records": table, "summary": summary, "finale": finale, "fit": fit}
