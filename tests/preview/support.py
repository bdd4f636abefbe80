"""Runs the preview as its command does, with the scenario runner the build
made (ZORV_SCENARIO_RUNNER), and reads figures out of what it prints."""
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.normpath(os.path.join(HERE, "..", "..", "scripts"))
SCORES = os.path.join(HERE, "scores")
RUNNER = os.environ.get("ZORV_SCENARIO_RUNNER", "")
sys.path.insert(0, SCRIPTS)


def run_preview(*args):
    env = dict(os.environ, PYTHONPATH=SCRIPTS)
    return subprocess.run([sys.executable, "-m", "zorvtools.preview", "--runner", RUNNER, *args],
                          capture_output=True, text=True, env=env)


def figure(pattern, text):
    match = re.search(pattern, text)
    if not match:
        raise AssertionError(f"no match for {pattern!r} in:\n{text}")
    return match.groups() if len(match.groups()) > 1 else match.group(1)


def written_seconds(output):
    return float(figure(r"Playback time of the region with the written records: ([\d.]+) s", output))
