"""The preview page's speed in headless Chromium, measured inside the page
by its own performance marks: from opening the file to the first result,
one edit to updated results (100 measures, median), a fit, from Play to
the first sound with a score open (median), and the single file's size.
Prints one line per figure, with its goal.
    python3 tests/browser/bench_page.py [EDITS]"""
import os
import statistics
import sys
import tempfile

from support import PAGE, SCORES, open_page, start_browser, stop_browser, wait_for

QUERY = "?time=4/4x100&from=2&to=99&start=q=120&stop=q=72&after=start"
FIT_QUERY = "?time=4/4x100&from=2&to=99&start=q=120&fit=150&stop-unit=q&after=start"


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


def first_sound_ms(driver):
    """From pressing Play to the moment its first sound is due at the
    output, the piano loaded as the page loads it while a score is read."""
    driver.find_element("id", "play").click()
    wait_for(lambda: driver.find_element("id", "stop").is_enabled() and driver.execute_script(
        "return performance.getEntriesByName('zorv-first-sound').length"), "the sound")
    delay = driver.execute_script(
        "return performance.getEntriesByName('zorv-first-sound').at(-1).startTime"
        " - performance.getEntriesByName('zorv-play').at(-1).startTime")
    driver.find_element("id", "stop").click()
    driver.execute_script("performance.clearMarks('zorv-first-sound')")
    return delay


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
            open_page(driver, "?from=2&to=4&start=q=120&stop=q=80&after=start")
            driver.find_element("id", "score").send_keys(os.path.join(SCORES, "notes-chords-ties.musicxml"))
            wait_for(lambda: driver.execute_script(
                "return performance.getEntriesByName('zorv-sound-ready').length"), "the piano")
            # No count-in: the first sound is the first measure's notes and click.
            driver.find_element("id", "count-in").click()
            sound = [first_sound_ms(driver) for _ in range(7)]
        finally:
            stop_browser(driver)
    size = os.path.getsize(PAGE)
    print(f"page_first_result_seconds {statistics.median(first):.3f}   (goal: at most 1 s)")
    print(f"page_edit_ms {statistics.median(edit):.1f}   (100 measures, median of {edits}; goal: at most 50 ms)")
    print(f"page_fit_ms {statistics.median(fit):.1f}   (median of {len(fit)}; goal: at most 150 ms)")
    print(f"page_first_sound_ms {statistics.median(sound):.0f}   (Play to the first sound, median of {len(sound)}; "
          "goal: at most 200 ms)")
    print(f"page_file_bytes {size}   (goal: at most 4,194,304)")


if __name__ == "__main__":
    main()
