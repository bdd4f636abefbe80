"""The single-file preview page in headless Chromium, opened from file://,
held against the command-line preview for the same inputs."""
import csv
import io
import os
import shutil
import subprocess
import tempfile
import unittest
import zipfile

import mido

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

from support import (CLI, OUT, PAGE, SCORES, cli_sections, console_errors, open_page, records,
                     run_cli, start_browser, stop_browser, text, wait_download, wait_for,
                     wait_settled)

README_ARGS = ["--time", "4/4x24", "--from", "12", "--to", "19", "--start", "q=120",
               "--stop", "q=72", "--after", "start"]
README_QUERY = "?time=4/4x24&from=12&to=19&start=q=120&stop=q=72&after=start"
FIT_ARGS = ["--time", "4/4x24", "--from", "12", "--to", "19", "--start", "q=120", "--fit", "25",
            "--after", "start"]
FIT_QUERY = "?time=4/4x24&from=12&to=19&start=q=120&fit=25&stop-unit=q&after=start"
SCORE = os.path.join(SCORES, "pickup-meters-parts.musicxml")
SCORE_ARGS = ["--from", "3", "--to", "5:2", "--start", "q=100", "--stop", "h=40", "--after", "stop"]
SCORE_QUERY = "?from=3&to=5:2&start=q=100&stop=h=40&after=stop"
# Chords, ties (over a barline and a meter change), triplets, two parts, 4/4 to 6/8.
NOTES_SCORE = os.path.join(SCORES, "notes-chords-ties.musicxml")
NOTES_ARGS = ["--score", NOTES_SCORE, "--from", "2", "--to", "4", "--start", "q=120", "--stop", "q=80",
              "--after", "start"]
NOTES_QUERY = "?from=2&to=4&start=q=120&stop=q=80&after=start"
# A short passage at the fastest tempos: four measures of 4/4, Play from the first.
QUICK_QUERY = "?time=4/4x4&from=2&to=3&start=q=600&stop=q=500&after=start"


def mxl_of(musicxml, folder):
    """The score compressed, as notation programs write .mxl."""
    path = os.path.join(folder, "score.mxl")
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("META-INF/container.xml",
                         '<?xml version="1.0" encoding="UTF-8"?><container><rootfiles>'
                         '<rootfile full-path="music/score.musicxml"/></rootfiles></container>')
        with open(musicxml, "rb") as f:
            archive.writestr("music/score.musicxml", f.read())
    return path


def onsets(wav, *options):
    done = subprocess.run(["aubioonset", "-i", wav, *options], capture_output=True, text=True, check=True)
    return [float(t) for t in done.stdout.split()]


def midi_onsets(path):
    """Seconds of each click's and each note's start, by the MIDI library's
    own reading of the file's tempo events: {"click": set, "notes": set}."""
    at, found = 0.0, {"click": set(), "notes": set()}
    for message in mido.MidiFile(path):
        at += message.time
        if message.type == "note_on" and message.velocity > 0:
            found["click" if message.channel == 9 else "notes"].add(round(at, 4))
    return found


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not os.path.exists(PAGE):
            raise AssertionError(f"no page at {PAGE}: build it first (scripts/test does)")
        cls.folder = tempfile.mkdtemp(prefix="zorv-page-test-")
        cls.downloads = os.path.join(cls.folder, "downloads")
        os.makedirs(cls.downloads)
        cls.driver = start_browser(cls.downloads)

    @classmethod
    def tearDownClass(cls):
        stop_browser(cls.driver)
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        for name in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, name))
        self.driver.get_log("browser")

    def tearDown(self):
        self.assertEqual(console_errors(self.driver), [])

    def cli_file(self, name):
        return os.path.join(self.folder, name)

    def field(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def retype(self, element_id, value):
        element = self.field(element_id)
        element.send_keys(Keys.CONTROL, "a")
        element.send_keys(value)
        return wait_settled(self.driver)

    def assert_shows(self, stdout):
        """The page shows what the command line printed: the score, region and ramp, the
        records, timing, dialog entries."""
        cli = cli_sections(stdout)
        self.assertEqual(text(self.driver, "header").splitlines(), cli["header"])
        self.assertEqual(len(cli["header"]), 3)
        self.assertEqual(records(self.driver), cli["records"])
        self.assertEqual(text(self.driver, "summary").splitlines(), cli["summary"])
        self.assertEqual(text(self.driver, "finale").splitlines(), cli["finale"])
        return cli

    def test_the_readme_example_from_the_address_shows_what_the_command_line_prints(self):
        self.assertEqual(open_page(self.driver, README_QUERY), "Up to date.")
        cli = self.assert_shows(run_cli(*README_ARGS))
        self.assertEqual(len(cli["records"]), 128 + 1)
        # The page writes back the address it was opened with, so the link still holds.
        self.assertEqual(self.driver.execute_script("return location.search"), README_QUERY)

    def test_a_fit_finds_the_command_lines_stop_tempo_and_neighbours(self):
        self.assertEqual(open_page(self.driver, FIT_QUERY), "Up to date.")
        cli = self.assert_shows(run_cli(*FIT_ARGS))
        self.assertGreaterEqual(len(cli["fit"]), 2)
        self.assertEqual(text(self.driver, "fit-result").splitlines(), cli["fit"])
        # Minutes and seconds are the same duration as the seconds alone.
        self.assertEqual(self.retype("fit", "0:25.0"), "Up to date.")
        self.assertEqual(text(self.driver, "fit-result").splitlines(), cli["fit"])
        self.assertEqual(self.retype("fit", "0:75"), "No result: correct the input marked above.")
        self.assertIn("'0:75'", text(self.driver, "stop-error"))

    def test_an_edit_updates_the_result_and_the_link_carries_it(self):
        open_page(self.driver, README_QUERY)
        before = records(self.driver)  # the table open while the edit comes
        self.assertEqual(self.retype("stop-bpm", "60"), "Up to date.")
        self.assertNotEqual(records(self.driver), before)
        link = self.driver.execute_script("return location.search")
        self.assertEqual(link, README_QUERY.replace("stop=q=72", "stop=q=60"))
        edited = README_ARGS[:-3] + ["q=60", "--after", "start"]
        self.assert_shows(run_cli(*edited))
        # The link opens the same preview in a fresh page.
        open_page(self.driver, link)
        self.assert_shows(run_cli(*edited))

    def test_the_downloads_are_the_command_lines_files(self):
        open_page(self.driver, README_QUERY)
        midi, beats = self.cli_file("cli.mid"), self.cli_file("cli.csv")
        run_cli(*README_ARGS, "--midi", midi, "--beats", beats)
        self.field("download-midi").click()
        with open(wait_download(self.downloads, "*.mid"), "rb") as page, open(midi, "rb") as cli:
            self.assertEqual(page.read(), cli.read())
        self.field("download-beats").click()
        with open(wait_download(self.downloads, "*.csv")) as page, open(beats) as cli:
            self.assertEqual(page.read(), cli.read())

    def test_the_musicxml_download_is_what_the_command_line_writes(self):
        for query, args in ((README_QUERY, README_ARGS), (SCORE_QUERY, ["--score", SCORE, *SCORE_ARGS])):
            with self.subTest(args=args[:2]):
                for name in os.listdir(self.downloads):
                    os.remove(os.path.join(self.downloads, name))
                open_page(self.driver, query)
                if "--score" in args:
                    self.field("score").send_keys(SCORE)
                    wait_for(lambda: text(self.driver, "header").startswith("Score:"), "the score's result")
                written = self.cli_file("cli.musicxml")
                run_cli(*args, "--write", written)
                self.field("download-musicxml").click()
                with open(wait_download(self.downloads, "*.musicxml"), "rb") as page, open(written, "rb") as cli:
                    self.assertEqual(page.read(), cli.read())

    def test_the_wavs_clicks_fall_on_the_predicted_beats(self):
        open_page(self.driver, README_QUERY)
        self.field("download-beats").click()
        with open(wait_download(self.downloads, "*.csv")) as f:
            beats = [float(row["seconds"]) for row in csv.DictReader(f)]
        self.field("download-wav").click()
        found = onsets(wait_download(self.downloads, "*.wav"))
        self.assertEqual(len(beats), 80)
        self.assertEqual(len(found), len(beats), found)
        for beat, onset in zip(beats, found):
            self.assertLess(abs(onset - beat), 0.015, f"beat at {beat:.3f} s, onset at {onset:.3f} s")

    def test_a_score_and_its_mxl_through_the_file_input(self):
        cli = run_cli("--score", SCORE, *SCORE_ARGS)
        for path in (SCORE, mxl_of(SCORE, self.folder)):
            with self.subTest(path=os.path.basename(path)):
                self.driver.get("about:blank")
                open_page(self.driver, SCORE_QUERY)
                self.field("score").send_keys(path)
                wait_for(lambda: text(self.driver, "header").startswith("Score:"), "the score's result")
                self.assertEqual(wait_settled(self.driver), "Up to date.")
                self.assert_shows(cli)
                self.assertEqual(text(self.driver, "header").splitlines()[0], cli.splitlines()[0])
        # A file that is no score: its sentence beside the file input, no result.
        bad = os.path.join(SCORES, "not-a-score.musicxml")
        done = subprocess.run(["node", CLI, "--score", bad, *SCORE_ARGS], capture_output=True, text=True)
        self.assertEqual(done.returncode, 2, done.stderr)
        self.field("score").send_keys(bad)
        wait_for(lambda: text(self.driver, "score-error"), "the score's sentence")
        self.assertFalse(self.field("current").is_displayed())
        self.assertIn(text(self.driver, "score-error").split(": ", 1)[-1], done.stderr)

    def test_a_score_with_repeats_and_jumps_plays_and_times_as_the_command_line_does(self):
        # Measures 2-3 are heard three times: the timing lists each pass, the
        # beat times say which hearing each click is in.
        score = os.path.join(SCORES, "repeats-endings-coda.musicxml")
        args = ["--score", score, "--from", "2", "--to", "3", "--start", "q=100", "--stop", "q=60"]
        midi, beats = self.cli_file("order.mid"), self.cli_file("order.csv")
        # The page sounds the notes with the click unless told otherwise.
        cli = run_cli(*args, "--notes", "--midi", midi, "--beats", beats)
        open_page(self.driver, "?from=2&to=3&start=q=100&stop=q=60")
        self.field("score").send_keys(score)
        wait_for(lambda: text(self.driver, "header").startswith("Score:"), "the score's result")
        self.assertEqual(wait_settled(self.driver), "Up to date.")
        self.assert_shows(cli)
        self.assertIn("the region is heard 3 times:", text(self.driver, "summary"))
        self.field("download-midi").click()
        with open(wait_download(self.downloads, "*.mid"), "rb") as page, open(midi, "rb") as written:
            self.assertEqual(page.read(), written.read())
        self.field("download-beats").click()
        with open(wait_download(self.downloads, "*.csv")) as page, open(beats) as written:
            self.assertEqual(page.read(), written.read())

    def test_each_kind_of_bad_input_gets_its_sentence_beside_it_and_no_result(self):
        cases = [  # query, where the sentence goes, the command line's arguments
            ("?time=4/4x2%C2%B2&from=1&to=2&start=q=120&stop=q=72", "time",
             ["--time", "4/4x2²", "--from", "1", "--to", "2", "--start", "q=120", "--stop", "q=72"]),
            ("?time=4/4x8&from=9&to=2&start=q=120&stop=q=72", "from",
             ["--time", "4/4x8", "--from", "9", "--to", "2", "--start", "q=120", "--stop", "q=72"]),
            ("?time=4/4x8&from=1&to=2:9&start=q=120&stop=q=72", "to",
             ["--time", "4/4x8", "--from", "1", "--to", "2:9", "--start", "q=120", "--stop", "q=72"]),
            ("?time=4/4x8&from=1&to=2&start=qh=120&stop=q=72", "start",
             ["--time", "4/4x8", "--from", "1", "--to", "2", "--start", "qh=120", "--stop", "q=72"]),
            ("?time=4/4x8&from=1&to=2&start=q=120&stop=q=700", "stop",
             ["--time", "4/4x8", "--from", "1", "--to", "2", "--start", "q=120", "--stop", "q=700"]),
            ("?time=4/4x8&from=1&to=2&start=q=120&fit=soon", "stop",
             ["--time", "4/4x8", "--from", "1", "--to", "2", "--start", "q=120", "--fit", "soon"]),
        ]
        for query, slot, args in cases:
            with self.subTest(query=query):
                self.assertTrue(open_page(self.driver, query).startswith("No result"))
                self.assertFalse(self.field("current").is_displayed())
                done = subprocess.run(["node", CLI, *args], capture_output=True, text=True)
                self.assertEqual(done.returncode, 2, done.stderr)
                shown = text(self.driver, f"{slot}-error")
                self.assertTrue(shown, f"no sentence beside {slot}")
                self.assertTrue(done.stderr.strip().endswith(shown), (shown, done.stderr))
                others = [s for s in ("time", "score", "from", "to", "start", "stop") if s != slot]
                self.assertEqual([text(self.driver, f"{s}-error") for s in others], [""] * 5)

    def test_a_bad_edit_withdraws_the_result_and_a_good_one_brings_it_back(self):
        open_page(self.driver, README_QUERY)
        self.assertTrue(self.retype("to-measure", "99").startswith("No result"))
        self.assertFalse(self.field("current").is_displayed())
        self.assertTrue(text(self.driver, "to-error"))
        self.assertEqual(self.field("to-measure").get_attribute("aria-invalid"), "true")
        self.assertEqual(self.retype("to-measure", "19"), "Up to date.")
        self.assertEqual(text(self.driver, "to-error"), "")
        self.assert_shows(run_cli(*README_ARGS))

    def test_every_control_has_a_label_and_is_reached_from_the_keyboard(self):
        open_page(self.driver, README_QUERY)
        unlabelled = self.driver.execute_script("""
            return [...document.querySelectorAll('input, button')].filter(c =>
              !(c.labels && [...c.labels].some(l => l.textContent.trim())) && !c.textContent.trim()
            ).map(c => c.id || c.name);""")
        self.assertEqual(unlabelled, [])
        # Tab through the page: each text field, each radio group, each box and button.
        wanted = set(self.driver.execute_script("""
            return [...document.querySelectorAll('input, button')]
              .filter(c => c.offsetParent && !c.disabled)
              .map(c => c.type === 'radio' ? 'radio:' + c.name : c.id);"""))
        self.assertGreater(len(wanted), 15)
        reached = set()
        self.driver.execute_script("document.activeElement.blur()")
        keys = ActionChains(self.driver)
        for _ in range(60):
            keys.send_keys(Keys.TAB).perform()
            reached.add(self.driver.execute_script("""
                const c = document.activeElement;
                return c.type === 'radio' ? 'radio:' + c.name : c.id;"""))
        self.assertEqual(wanted - reached, set())
        # Arrow keys change the focused radio group, as in the dialog.
        self.driver.execute_script("document.querySelector('input[name=after][value=start]').focus()")
        ActionChains(self.driver).send_keys(Keys.ARROW_UP).perform()
        self.assertEqual(wait_settled(self.driver), "Up to date.")
        self.assertIn("after=stop", self.driver.execute_script("return location.search"))

    def test_the_page_fits_a_phones_width(self):
        self.driver.set_window_size(375, 800)
        try:
            open_page(self.driver, README_QUERY)
            width = self.driver.execute_script("return document.documentElement.scrollWidth")
            self.assertLessEqual(width, self.driver.execute_script("return window.innerWidth"))
        finally:
            self.driver.set_window_size(1200, 1600)

    def test_pointing_at_a_record_names_its_measure_beat_and_tempo(self):
        open_page(self.driver, README_QUERY)
        marks = self.driver.find_elements(By.CSS_SELECTOR, "#tempo-map [data-dot]")
        self.assertEqual(len(marks), len(records(self.driver)))
        last = marks[-1]
        self.driver.execute_script("arguments[0].focus()", last)
        self.assertEqual(text(self.driver, "record-info"), "Measure 20, beat 1.00: quarter = 120.0")
        self.driver.execute_script(
            "arguments[0].dispatchEvent(new MouseEvent('mouseover', {bubbles: true}))", marks[1])
        self.assertEqual(text(self.driver, "record-info"), "Measure 12, beat 1.25: quarter = 119.6")
        # One stop in the tab order for the whole map; arrows walk its records.
        self.assertEqual([m.get_attribute("tabindex") for m in marks].count("0"), 1)
        self.driver.execute_script("arguments[0].focus()", marks[0])
        ActionChains(self.driver).send_keys(Keys.ARROW_RIGHT, Keys.ARROW_RIGHT).perform()
        self.assertEqual(text(self.driver, "record-info"), "Measure 12, beat 1.50: quarter = 119.3")
        ActionChains(self.driver).send_keys(Keys.END).perform()
        self.assertEqual(text(self.driver, "record-info"), "Measure 20, beat 1.00: quarter = 120.0")
        self.assertEqual(self.driver.switch_to.active_element, marks[-1])

    def test_play_moves_the_playhead_and_stop_ends_it(self):
        open_page(self.driver, README_QUERY)
        self.field("play").click()
        head = self.driver.find_element(By.CSS_SELECTOR, "#tempo-map .playhead")
        # Two measures of lead-in play left of the map, where no line shows.
        self.assertEqual(head.get_attribute("visibility"), "hidden")
        wait_for(lambda: head.get_attribute("visibility") == "visible", "the playhead to reach the map")
        first = float(head.get_attribute("x1"))
        wait_for(lambda: float(head.get_attribute("x1")) > first + 10, "the playhead to move on")
        self.assertTrue(self.field("play").get_attribute("disabled"))
        self.field("stop").click()
        wait_for(lambda: not self.driver.find_elements(By.CSS_SELECTOR, ".playhead"), "the playhead to go")
        self.assertIsNone(self.field("play").get_attribute("disabled"))

    def open_score(self, query, path):
        open_page(self.driver, query)
        self.field("score").send_keys(path)
        wait_for(lambda: text(self.driver, "header").startswith("Score:"), "the score's result")
        self.assertEqual(wait_settled(self.driver), "Up to date.")

    def choose_sounds(self, sounds):
        self.driver.find_element(By.CSS_SELECTOR, f"input[name=sounds][value={sounds}]").click()

    def test_the_sound_downloads_hold_what_was_chosen_where_the_preview_times_it(self):
        self.open_score(NOTES_QUERY, NOTES_SCORE)
        with_notes, click_only = self.cli_file("notes.mid"), self.cli_file("click.mid")
        run_cli(*NOTES_ARGS, "--notes", "--midi", with_notes)
        run_cli(*NOTES_ARGS, "--midi", click_only)
        heard = midi_onsets(with_notes)
        self.assertEqual((len(heard["click"]), len(heard["notes"])), (15, 15))
        # [choice, the command line's MIDI file, what the WAV sounds]
        cases = [("notes", with_notes, heard["notes"]), ("click", click_only, heard["click"]),
                 ("both", with_notes, heard["notes"] | heard["click"])]
        for sounds, midi, predicted in cases:
            with self.subTest(sounds=sounds):
                for name in os.listdir(self.downloads):
                    os.remove(os.path.join(self.downloads, name))
                self.choose_sounds(sounds)
                self.field("download-midi").click()
                with open(wait_download(self.downloads, "*.mid"), "rb") as page, open(midi, "rb") as cli:
                    self.assertEqual(page.read(), cli.read())
                self.field("download-wav").click()
                wav = wait_download(self.downloads, "*.wav", seconds=60)
                self.assertTrue(wav.endswith({"notes": "-notes.wav", "click": "-click.wav",
                                              "both": "-notes-and-click.wav"}[sounds]), wav)
                # What is played lies at least 200 ms apart; a note struck while
                # a chord rings needs a threshold below aubio's default to be
                # found (0.1 to 0.3 find every one, and nothing more).
                found = onsets(wav, "-t", "0.2", "-M", "0.12")
                for time in sorted(predicted):
                    self.assertLess(min(abs(onset - time) for onset in found), 0.015,
                                    f"nothing heard at {time:.3f} s: {found}")
                for onset in found:
                    self.assertLess(min(abs(onset - time) for time in predicted), 0.015,
                                    f"heard at {onset:.3f} s: {sorted(predicted)}")

    def measures_announced(self, passes):
        """The "zorv-playing" events of one playing, until `passes` passes
        have begun or it ends: [(ms after the first sound, measure, pass)]."""
        self.driver.execute_script("""
            window.zorvHeard = [];
            if (!window.zorvListens) document.addEventListener('zorv-playing', (e) => zorvHeard.push(
              e.detail && [performance.now(), e.detail.measure, e.detail.pass]));
            window.zorvListens = true;""")
        self.field("play").click()
        wait_for(lambda: self.driver.execute_script(
            "return zorvHeard.some(e => e === null || e[2] >= arguments[0])", passes), "the passes", 30)
        self.field("stop").click()
        first_sound = self.driver.execute_script(
            "return performance.getEntriesByName('zorv-first-sound').at(-1).startTime")
        heard = self.driver.execute_script("return zorvHeard")
        return [(at - first_sound, measure, pass_) for at, measure, pass_ in (e for e in heard if e)]

    def test_a_count_in_comes_before_the_passage_and_a_loop_plays_it_until_stop(self):
        open_page(self.driver, QUICK_QUERY)
        # Meter runs have no notes to choose: only the click, and the page says so.
        self.assertIn("only the click sounds", text(self.driver, "sound-note"))
        self.assertEqual([i.is_enabled() for i in self.driver.find_elements(By.NAME, "sounds")],
                         [False, False, True])
        cli = self.cli_file("quick.csv")
        run_cli("--time", "4/4x4", "--from", "2", "--to", "3", "--start", "q=600", "--stop", "q=500",
                "--after", "start", "--beats", cli)
        with open(cli) as f:
            beats = [(float(r["seconds"]), r["beat"]) for r in csv.DictReader(f)]
        downbeats = [seconds for seconds, beat in beats if beat == "1"]
        passage = 2 * beats[-1][0] - beats[-2][0]  # the last measure's beats are even
        self.field("loop").click()
        heard = self.measures_announced(passes=2)
        # Measures 1 to 4 each pass; the first after the count-in, one measure of
        # 4/4 at quarter = 120 before any record (2 s).
        self.assertEqual([(m, p) for _, m, p in heard][:8], [(m, p) for p in (0, 1) for m in (1, 2, 3, 4)])
        # Each is announced on the first frame after it begins: never before,
        # and late only by as much as a busy machine delays a frame.
        for at, measure, pass_ in heard[:8]:
            due = 2.0 + pass_ * passage + downbeats[measure - 1]
            self.assertTrue(due - 0.02 < at / 1000 < due + 0.2, f"measure {measure}, pass {pass_}: {at:.0f} ms")
        # Without the count-in and the loop: measure 1 at once, one pass.
        self.field("loop").click()
        self.field("count-in").click()
        heard = self.measures_announced(passes=1)
        self.assertEqual([(m, p) for _, m, p in heard], [(1, 0), (2, 0), (3, 0), (4, 0)])
        self.assertTrue(-20 < heard[0][0] < 200, heard[0][0])

    def test_the_readme_screenshot(self):
        self.driver.set_window_size(1000, 1900)
        try:
            open_page(self.driver, README_QUERY)
            path = os.path.join(OUT, "preview-page.png")
            self.assertTrue(self.driver.save_screenshot(path))
            with open(path, "rb") as f:
                self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        finally:
            self.driver.set_window_size(1200, 1600)


if __name__ == "__main__":
    unittest.main()
