// The page's one door to the shared preview, which works in a Worker
// (worker.js, bundled as a classic script's text at the page's head, and
// started there by worker-start.js from a blob: URL, which a page opened
// from file:// may do): every request is a promise of its answer. Requests
// answer in order; one that a later request of its kind replaced before it
// was worked on rejects as superseded. Once the Worker has failed, every
// request rejects with why.

// What a rejected request says: an input the preview refuses carries the
// fields it is about and its sentence (InputError's), `superseded` a request
// that was not worked on.
function failure(reply) {
    if (reply.superseded) return Object.assign(new Error("superseded"), { superseded: true });
    return Object.assign(new Error(reply.error.message), reply.error);
}

// start: {worker, failed} as worker-start.js left it, taken once.
export function loadEngine(start = globalThis.zorvWorkerStart) {
    if (!start) throw new Error("the page's preview worker was never started");
    globalThis.zorvWorkerStart = null;
    const { worker } = start;
    const waiting = new Map();
    let last = 0;
    worker?.addEventListener("message", ({ data }) => {
        const request = waiting.get(data.id);
        waiting.delete(data.id);
        if ("value" in data) request.resolve(data.value);
        else request.reject(failure(data));
    });
    // A Worker that fails to start, or dies, fails every request it holds
    // and every one after.
    worker?.addEventListener("error", (event) => {
        event.preventDefault();
        start.failed ??= event.message || "the preview's worker stopped";
        for (const request of waiting.values()) request.reject(new Error(start.failed));
        waiting.clear();
    });
    const send = (request, transfer = []) => {
        const id = ++last;
        if (start.failed) return { id, answer: Promise.reject(new Error(start.failed)) };
        const answer = new Promise((resolve, reject) => waiting.set(id, { resolve, reject }));
        worker.postMessage({ ...request, id }, transfer);
        return { id, answer };
    };
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
