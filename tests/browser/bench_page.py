"""The preview page's speed in headless Chromium, measured inside the page
by its own performance marks: from opening the file to the first result,
one edit to updated results (100 measures, median), a fit, an edit with
eight hit points over 200 measures, and the single file's size. Prints one line per figure, with its goal.
    python3 tests/browser/bench_page.py [EDITS]"""
import os
import statistics
import sys
import tempfile

from support import PAGE, open_page, start_browser, stop_browser, wait_for

QUERY = "?time=4/4x100&from=2&to=99&start=q=120&stop=q=72&after=start"
FIT_QUERY = "?time=4/4x100&from=2&to=99&start=q=120&fit=150&stop-unit=q&after=start"
# Eight hit points over 200 measures: an edit solves all eight again.
HITS = ["26=53.94", "51=108.55", "76=151.36", "101=183.94", "125=224.9", "150=290.16", "175=371.13", "200=437.38"]
HITS_QUERY = "?time=4/4x200&from=1&start=q=120&after=stop&" + "&".join(f"hit={hit}" for hit in HITS) + "&fps=24"


def updates(driver):
    return driver.execute_script(
        "return performance.getEntriesByName('zorv-update').map(e => e.duration)")


def timed_edit(driver, element_id, value):
    """One input event, as one keystroke or one choice gives; the time the
    page took from it to the updated results."""
    before = len(updates(driver))
    driver.execute_script(
        "const e = document.getElementById(arguments[0]); e.value = arguments[1];"
        "e.dispatchEvent(new Event('input', {bubbles: true}));", element_id, value)
    done = wait_for(lambda: (u := updates(driver)) and len(u) > before and u, "the update")
    if driver.find_element("id", "status").text != "Up to date.":
        raise SystemExit(f"the edit {element_id}={value} gave no result")
    return done[-1]


def main():
    edits = int(sys.argv[1]) if len(sys.argv) > 1 else 21
    with tempfile.TemporaryDirectory() as downloads:
        driver = start_browser(downloads)
        try:
            first = []
            for _ in range(3):
                driver.get("about:blank")
                open_page(driver, QUERY)
                first.append(driver.execute_script(
                    "return performance.getEntriesByName('zorv-first-result')[0].startTime") / 1000)
            edit = [timed_edit(driver, "stop-bpm", str(60 + i % 10)) for i in range(edits)]
            open_page(driver, FIT_QUERY)
            fit = [timed_edit(driver, "fit", str(140 + i)) for i in range(7)]
            open_page(driver, HITS_QUERY)
            hits = [timed_edit(driver, "hit-8-time", f"{437 + i % 5}.38") for i in range(7)]
        finally:
            stop_browser(driver)
    size = os.path.getsize(PAGE)
    print(f"page_first_result_seconds {statistics.median(first):.3f}   (goal: at most 1 s)")
    print(f"page_edit_ms {statistics.median(edit):.1f}   (100 measures, median of {edits}; goal: at most 50 ms)")
    print(f"page_fit_ms {statistics.median(fit):.1f}   (median of {len(fit)}; goal: at most 150 ms)")
    print(f"page_hits_edit_ms {statistics.median(hits):.1f}   (eight hits over 200 measures, median of {len(hits)}; "
          "goal: at most 300 ms)")
    print(f"page_file_bytes {size}   (goal: at most 1,572,864)")


if __name__ == "__main__":
    main()
