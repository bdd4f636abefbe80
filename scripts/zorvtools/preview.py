"""scripts/preview: a ramp previewed from musical arguments. The plug-in's
own code (through a scenario runner) writes the ramp; the preview shows the
records, the tempo map and the timing, the dialog entries that give the same
ramp in Finale, and on request a fitted stop tempo, a MIDI file, audio and
the beat times."""
import argparse
import os
import sys
import tempfile
from pathlib import Path

from . import audio, fit, music, scenario, tempo_map
from .music import InputError

ROOT = Path(__file__).resolve().parents[2]
DEFAULT_SVG = ROOT / "build" / "preview" / "tempo-map.svg"
AFTER_TEXT = {"none": "then nothing more", "stop": "then the stop tempo holds",
              "start": "then back to the start tempo"}


class Parser(argparse.ArgumentParser):
    def error(self, message):
        raise InputError(message)


def arguments(argv):
    parser = Parser(prog="scripts/preview", description="Previews an accelerando or ritardando "
                    "as the plug-in writes it into a region of a score.")
    score = parser.add_mutually_exclusive_group(required=True)
    score.add_argument("--time", metavar="RUNS", help="measures as meter runs: 4/4x8 or 4/4x4,3/4x2,6/8x3")
    score.add_argument("--score", metavar="FILE", help="a MusicXML score (.musicxml, .xml or .mxl)")
    parser.add_argument("--from", dest="start_at", required=True, metavar="M[:BEAT]",
                        help="first measure, or measure:beat (quarters from 1, as 12:2.5)")
    parser.add_argument("--to", dest="end_at", required=True, metavar="M[:BEAT]",
                        help="last measure (through its end), or measure:beat (that beat not included)")
    parser.add_argument("--start", required=True, metavar="UNIT=BPM",
                        help="start tempo: s e q h w (16th..whole), a trailing . for dotted; 20..600")
    stop = parser.add_mutually_exclusive_group(required=True)
    stop.add_argument("--stop", metavar="UNIT=BPM", help="stop tempo, as --start")
    stop.add_argument("--fit", metavar="SECONDS", help="find the stop tempo that makes the region last this long")
    parser.add_argument("--stop-unit", metavar="UNIT", help="beat unit of the fitted stop tempo (default: the start's)")
    parser.add_argument("--after", choices=("none", "stop", "start"), default="stop",
                        help="directly after the region: nothing, the stop tempo (default) or the start tempo")
    parser.add_argument("--svg", metavar="FILE", default=str(DEFAULT_SVG), help="where the tempo map goes")
    parser.add_argument("--midi", metavar="FILE", help="write a MIDI file: the tempos and a click on every beat")
    parser.add_argument("--wav", metavar="FILE", help="render the MIDI file to audio (fluidsynth)")
    parser.add_argument("--beats", metavar="FILE", help="write the click times (CSV: seconds, measure, beat)")
    parser.add_argument("--runner", required=True, help=argparse.SUPPRESS)
    parser.add_argument("--check", action="store_true", help=argparse.SUPPRESS)
    return parser.parse_args(argv)


def fit_target(text):
    try:
        seconds = float(text)
    except ValueError:
        seconds = -1.0
    if not 0 < seconds < 1e7:
        raise InputError(f"--fit: '{text}' is not a duration in seconds")
    return seconds


def read_measures(args):
    if args.score:
        from .musicxml import read_score
        return read_score(args.score)
    return music.Score(music.parse_time_runs(args.time), [])


def plan(args):
    """Everything the run needs, each input checked."""
    score = read_measures(args)
    region = music.parse_region(args.start_at, args.end_at, score.measures)
    start = music.parse_tempo(args.start, "--start")
    stop, target, unit = None, None, (start.unit, start.dotted)
    if args.stop:
        if args.stop_unit:
            raise InputError("--stop-unit goes with --fit; --stop names its own unit")
        stop = music.parse_tempo(args.stop, "--stop")
        check_not_equal(start, stop)
    else:
        target = fit_target(args.fit)
        if args.stop_unit:
            unit = music.parse_unit(args.stop_unit, "--stop-unit")
    outputs = [path for path in (args.svg, args.midi, args.wav, args.beats) if path]
    for path in outputs:
        if os.path.isdir(path):
            raise InputError(f"{path} is a folder; name a file to write")
    if len(set(map(os.path.abspath, outputs))) < len(outputs):
        raise InputError("--svg, --midi, --wav and --beats must name different files")
    return {"score": score, "region": region, "start": start, "stop": stop,
            "target": target, "stop_unit": unit}


def check_not_equal(start, stop):
    if music.tempo_value(start) == music.tempo_value(stop):
        raise InputError(f"--start {music.tempo_name(start)} and --stop {music.tempo_name(stop)} are "
                         f"the same tempo: no ramp (the dialog refuses them too)")


def print_fit(result, stop_unit, target):
    unit, dotted = stop_unit

    def name(bpm):
        return music.tempo_name(music.Tempo(unit, dotted, bpm))

    if result.reachable:
        print(f"Fit: stop {name(result.bpm)} plays the region in {result.seconds[result.bpm]:.3f} s "
              f"(target {target:.3f} s)")
    else:
        print(f"Fit: no stop tempo from 20 to 600 makes the region last {target:.3f} s; the nearest "
              f"is {name(result.bpm)} at {result.seconds[result.bpm]:.3f} s")
    for bpm in sorted(result.neighbours + ([result.refused] if result.refused in
                                            (result.bpm - 1, result.bpm + 1) else [])):
        shown = "refused by the dialog: the same tempo as the start" if bpm == result.refused \
            else f"{result.seconds[bpm]:.3f} s"
        print(f"  neighbour {name(bpm)}: {shown}")
    print()


def measure_ticks(measures, x0, x1):
    starts = music.measure_offsets(measures)
    inside = [n for n in range(1, len(measures) + 1) if x0 <= starts[n] <= x1]
    step = tempo_map.tick_step(len(inside))
    return [(starts[n], str(n)) for n in inside if (n - inside[0]) % step == 0]


def write_map(path, line, measures):
    heard = audio.heard_measures(measures, line["region"])
    starts = music.measure_offsets(heard)
    extent = (starts[line["region"][0]], starts[len(heard) + 1])
    tempo_map.write_svg(output_file(path), line["points"], line["span"], extent,
                        measure_ticks(heard, *extent), x_title="measure")


def shown_path(path):
    """A path as short as it reads from the current folder."""
    relative = os.path.relpath(path)
    return path if relative.startswith("..") else relative


def output_file(path):
    """The path, its folder made when missing."""
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    return path


def write_sound(args, line, measures):
    heard = audio.heard_measures(measures, line["region"])
    end = music.measure_offsets(heard)[len(heard) + 1]
    points = audio.heard_points(line["points"], end)
    beat_clicks = audio.clicks(heard)
    if args.beats:
        times = audio.seconds_at(points, [c.position for c in beat_clicks])
        audio.write_beats(output_file(args.beats), beat_clicks, times)
        print(f"Beat times: {args.beats} ({len(times)} beats)")
    if args.midi:
        audio.write_midi(output_file(args.midi), heard, points, line["span"])
        region_times = audio.seconds_at(points, list(line["span"]))
        print(f"MIDI:       {args.midi} (measures 1 to {len(heard)}, {len(beat_clicks)} clicks; "
              f"the region plays from {region_times[0]:.3f} s to {region_times[1]:.3f} s)")
    if args.wav:
        with tempfile.TemporaryDirectory() as folder:
            midi = args.midi or os.path.join(folder, "preview.mid")
            if not args.midi:
                audio.write_midi(midi, heard, points, line["span"])
            audio.render_wav(midi, output_file(args.wav))
        print(f"Audio:      {args.wav}")


def print_dialog_entries(region, measures, start, stop, after):
    def entry(tempo):
        return f"{music.UNIT_NAMES[tempo.unit].capitalize()}, Dotted {'on' if tempo.dotted else 'off'}, = {tempo.bpm}"

    print("In Finale: select " + music.region_text(region, measures) + ", choose "
          "Plug-ins > Zorv Tempo [v1.06]..., and enter")
    print(f"  Start:  {entry(start)}")
    print(f"  Stop:   {entry(stop)}")
    print(f"  Action directly after selection: {scenario.AFTER_NAMES[after]}")
    print("  then OK.")


def print_header(args, score, region):
    marks = len(score.tempo)
    print(f"Score:  {music.meter_summary(score.measures)}"
          + (f", {marks} tempo mark{'s' if marks != 1 else ''}" if args.score else ""))
    print(f"Region: {music.region_text(region, score.measures)} "
          f"(ERegion {region[0]}, {region[1]}, {region[2]}, {region[3]})")


def fitted_stop(args, p):
    """The stop tempo that --fit finds, with its report printed."""
    result = fit.fit_stop(args.runner, p["score"].measures, p["region"], p["start"],
                          *p["stop_unit"], args.after, p["target"])
    return music.Tempo(*p["stop_unit"], result.bpm), result


def show_ramp(args, score, ramp, report):
    line = tempo_map.timeline(ramp, report)
    print("Tempo records in the score after the ramp:")
    tempo_map.print_table(line["records"])
    print()
    tempo_map.print_summary(tempo_map.timing_summary(line))
    print()
    write_map(args.svg, line, score.measures)
    print(f"Tempo map:  {shown_path(args.svg)}")
    write_sound(args, line, score.measures)
    print()


def preview(args, p):
    score, region, start, stop = p["score"], p["region"], p["start"], p["stop"]
    print_header(args, score, region)
    if stop is None:
        stop, result = fitted_stop(args, p)
    print(f"Ramp:   {music.tempo_name(start)} to {music.tempo_name(stop)}, {AFTER_TEXT[args.after]}")
    print()
    if p["stop"] is None:
        print_fit(result, p["stop_unit"], p["target"])
    ramp = scenario.ramp_scenario(score.measures, score.tempo, region, start, stop, args.after)
    show_ramp(args, score, ramp, scenario.run(args.runner, ramp))
    print_dialog_entries(region, score.measures, start, stop, args.after)


def main(argv=None):
    try:
        args = arguments(sys.argv[1:] if argv is None else argv)
        checked = plan(args)
    except InputError as error:
        print(f"preview: {error}", file=sys.stderr)
        return 2
    if args.check:
        return 0
    try:
        preview(args, checked)
    except (scenario.RunnerError, RuntimeError, OSError) as error:
        print(f"preview: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
