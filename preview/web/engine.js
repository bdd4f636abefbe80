// The page's one door to the shared preview, which works in a Worker
// (worker.js, bundled into this file as a classic script's text and started
// from a blob: URL, which a page opened from file:// may do): every request
// is a promise of its answer. Requests answer in order; one that a later
// request of its kind replaced before it was worked on rejects as
// superseded.
import WORKER_SOURCE from "zorv-worker-source";
import { requestsTo } from "./requests.js";

function startWorker() {
    const url = URL.createObjectURL(new Blob([WORKER_SOURCE], { type: "text/javascript" }));
    return new Worker(url);
}

export function loadEngine() {
    const send = requestsTo(startWorker());
    const ask = (request, transfer) => send(request, transfer).answer;
    return {
        // {name, measures, printed, parts, notes, landmarks, staves, ...} of the
        // score read from the file's bytes (handed over, not copied), kept by
        // `key` with the score opened by `keep`.
        open: (name, bytes, key, keep) => ask({ kind: "open", name, bytes, key, keep }, [bytes.buffer]),
        // The page's result (session.js's pageResult) and the id that the sound
        // and the MusicXML of this preview are asked by; withScore: the key of
        // the score to preview, or false for the meter runs.
        async preview(args, withScore) {
            const { id, answer } = send({ kind: "preview", args, withScore });
            return { ...await answer, id };
        },
        sound: (result, part) => ask({ kind: "sound", of: result.id, part }),
        musicxml: (result) => ask({ kind: "musicxml", of: result.id }),
        // The meter runs to draw: {measures, landmarks, staves}.
        notation: (time) => ask({ kind: "notation", time }),
        // MusicXML text of a piece of the score ("score") or the meter runs
        // ("time") last opened: {from, to, parts, short}.
        excerpt: (of, piece) => ask({ kind: "excerpt", of, piece }),
    };
}
