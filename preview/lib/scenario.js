// The plug-in's tempo dialog as a scripted user works it, and the scenario
// that has the plug-in write a ramp: the one place that knows the dialog's
// control numbers, so the preview, the fit and the tempo map read and write
// the same entries. Browser-safe; running a scenario is the runner's job.
import { DOTTED, hostTempoValue, measureRuns } from "./music.js";

export const OK_BUTTON = 1;
export const START_UNIT_FIRST = 102;
export const START_DOTTED = 109;
export const START_TEMPO = 111;
export const STOP_UNIT_FIRST = 122;
export const STOP_DOTTED = 129;
export const STOP_TEMPO = 131;
const UNIT_COUNT = 5;
// "Action directly after selection": its radio buttons and its labels.
export const AFTER_CHOICES = Object.freeze({ none: 142, stop: 143, start: 144 });
export const AFTER_NAMES = Object.freeze({ none: "None", stop: "Insert Stop Tempo", start: "Insert Start Tempo" });

// The runner failed, or the plug-in did not write the ramp.
export class RunnerError extends Error {
    constructor(message) {
        super(message);
        this.name = "RunnerError";
    }
}

// A scripted check changes only its own button, so every radio of the group
// is set, not just the chosen one.
function tempoActions(tempo, firstUnit, dotted, edit) {
    const units = [];
    for (let i = 0; i < UNIT_COUNT; i += 1) units.push({ check: firstUnit + i, value: Number(i === tempo.unit) });
    return [...units, { check: dotted, value: Number(tempo.dotted) }, { set: edit, value: tempo.bpm }];
}

export function dialogActions(start, stop, after) {
    const afterRadios = Object.entries(AFTER_CHOICES).map(([name, control]) => ({
        check: control, value: Number(name === after),
    }));
    return [
        ...tempoActions(start, START_UNIT_FIRST, START_DOTTED, START_TEMPO),
        ...tempoActions(stop, STOP_UNIT_FIRST, STOP_DOTTED, STOP_TEMPO),
        ...afterRadios,
        { click: OK_BUTTON },
    ];
}

export function rampInvocation(region, start, stop, after) {
    return { region: [...region], user: dialogActions(start, stop, after) };
}

export function rampScenario(measures, tempoRecords, region, start, stop, after) {
    return planScenario(measures, tempoRecords, [{ region, start, stop, after }]);
}

// One session, one invocation per run ({region, start, stop, after}) in
// order: each run sees the records the runs before it wrote.
export function planScenario(measures, tempoRecords, runs) {
    return {
        measures: measureRuns(measures),
        tempo: tempoRecords.map((r) => [...r]),
        registry: null,
        invocations: runs.map((run) => rampInvocation(run.region, run.start, run.stop, run.after)),
    };
}

// Throws RunnerError unless the plug-in loaded and every invocation was
// closed by the plug-in's own OK without a message box.
export function checkRampsWritten(report) {
    if (!report.loaded) throw new RunnerError("the plug-in did not load");
    for (const invocation of report.invocations ?? []) {
        const boxes = invocation.boxes ?? [];
        if (boxes.length) throw new RunnerError(`the plug-in said "${boxes[0].text}" (${boxes[0].caption})`);
        if (invocation.closedBy !== "plugin") throw new RunnerError("the dialog did not take the entries");
    }
}

// The tempo value of the stop tempo the scripted user entered, or null when
// the invocation enters none.
export function stopValueFromActions(invocation) {
    let bpm = null, unit = 2, modifier = 0;
    for (const action of invocation.user ?? []) {
        if (action.set === STOP_TEMPO) bpm = action.value;
        else if (action.check >= STOP_UNIT_FIRST && action.check < STOP_UNIT_FIRST + UNIT_COUNT && action.value === 1) {
            unit = action.check - STOP_UNIT_FIRST;
        } else if (action.check === STOP_DOTTED) modifier = action.value ? DOTTED : 0;
    }
    return bpm ? hostTempoValue(unit, bpm, modifier) : null;
}
