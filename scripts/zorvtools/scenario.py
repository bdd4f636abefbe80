"""Scenarios for the scenario runners: the score, the region and a scripted
user who fills in the tempo dialog and clicks OK; and one run of a runner."""
import json
import os
import subprocess
import tempfile

from .music import measure_runs

OK_BUTTON = 1
START_UNIT_FIRST, START_DOTTED, START_TEMPO = 102, 109, 111
STOP_UNIT_FIRST, STOP_DOTTED, STOP_TEMPO = 122, 129, 131
AFTER_CHOICES = {"none": 142, "stop": 143, "start": 144}
AFTER_NAMES = {"none": "None", "stop": "Insert Stop Tempo", "start": "Insert Start Tempo"}


class RunnerError(Exception):
    """The runner failed or the plug-in did not write the ramp."""


def tempo_actions(tempo, first_unit, dotted, edit):
    # A scripted check changes only its own button, so every radio of the
    # group is set, not just the chosen one.
    units = [{"check": first_unit + i, "value": int(i == tempo.unit)} for i in range(5)]
    return units + [{"check": dotted, "value": int(tempo.dotted)},
                    {"set": edit, "value": tempo.bpm}]


def dialog_actions(start, stop, after):
    after_radios = [{"check": control, "value": int(name == after)}
                    for name, control in AFTER_CHOICES.items()]
    return (tempo_actions(start, START_UNIT_FIRST, START_DOTTED, START_TEMPO)
            + tempo_actions(stop, STOP_UNIT_FIRST, STOP_DOTTED, STOP_TEMPO)
            + after_radios + [{"click": OK_BUTTON}])


def ramp_invocation(region, start, stop, after):
    return {"region": list(region), "user": dialog_actions(start, stop, after)}


def ramp_scenario(measures, tempo_records, region, start, stop, after):
    return {"measures": measure_runs(measures), "tempo": [list(r) for r in tempo_records],
            "registry": None, "invocations": [ramp_invocation(region, start, stop, after)]}


def run(runner, scenario):
    """The runner's report of the scenario; every invocation must have been
    closed by the plug-in's own OK without a message box."""
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump(scenario, f)
        path = f.name
    try:
        done = subprocess.run([runner, path], capture_output=True, text=True, env=runner_environment())
    finally:
        os.unlink(path)
    if done.returncode != 0:
        last = (done.stderr.strip().splitlines() or ["no message"])[-1]
        raise RunnerError(f"the scenario runner failed (exit status {done.returncode}): {last}")
    report = json.loads(done.stdout)
    check_ramps_written(report)
    return report


def check_ramps_written(report):
    if not report.get("loaded"):
        raise RunnerError("the plug-in did not load")
    for invocation in report.get("invocations", []):
        boxes = invocation.get("boxes", [])
        if boxes:
            raise RunnerError(f"the plug-in said \"{boxes[0]['text']}\" ({boxes[0]['caption']})")
        if invocation.get("closedBy") != "plugin":
            raise RunnerError("the dialog did not take the entries")


def runner_environment():
    """The native runner is built with the sanitizers; the leak check at its
    exit costs a preview more than the ramp itself, and finds nothing that
    the tests would not."""
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = ":".join(filter(None, [env.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    return env
