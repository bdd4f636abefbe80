// The mix Play sounds: every part, one part alone, or every part but one,
// chosen beside Play. The choice outlives a new result of the same score
// and falls back to every part when the parts change.

// parts: [{index, name}] of the parts with notes (their places in the score).
// The choices as {value, label}: "all", "solo:N", "mute:N".
export function mixChoices(parts) {
    const labels = partLabels(parts);
    if (parts.length < 2) return [{ value: "all", label: "All parts" }];
    return [
        { value: "all", label: "All parts" },
        ...parts.map((part, i) => ({ value: `solo:${part.index}`, label: `${labels[i]} alone` })),
        ...parts.map((part, i) => ({ value: `mute:${part.index}`, label: `All but ${labels[i]}` })),
    ];
}

// Each part's name as the choice shows it: an unnamed part by its place,
// a name two parts share with its count ("Violin (2)").
function partLabels(parts) {
    const names = parts.map((part) => part.name.trim() || `Instrument ${part.index + 1}`);
    const seen = new Map();
    return names.map((name) => {
        const count = names.filter((other) => other === name).length;
        if (count === 1) return name;
        seen.set(name, (seen.get(name) ?? 0) + 1);
        return `${name} (${seen.get(name)})`;
    });
}

// The notes ({part, ...}) a choice lets sound.
export function mixedNotes(notes, choice) {
    const [kind, index] = choice.split(":");
    if (kind === "solo") return notes.filter((note) => note.part === Number(index));
    if (kind === "mute") return notes.filter((note) => note.part !== Number(index));
    return notes;
}

// The <select> beside Play: shows the choices of a result's parts, keeping
// the musician's choice while it is still one of them.
export class MixControl {
    constructor(select) {
        this.select = select;
        this.shownFor = "";
    }

    show(parts) {
        const choices = mixChoices(parts);
        const key = JSON.stringify(choices);
        if (key !== this.shownFor) {
            const before = this.select.value;
            this.select.replaceChildren(...choices.map(({ value, label }) => new Option(label, value)));
            this.select.value = choices.some((c) => c.value === before) ? before : "all";
            this.shownFor = key;
        }
        this.select.disabled = choices.length < 2;
    }

    get value() {
        return this.select.value || "all";
    }
}
