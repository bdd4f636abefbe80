// The order the Worker takes its requests in (worker.js): as they came,
// except that an edit's preview is answered before the pieces of the score
// asked for to draw, which it can overtake safely (a piece reads the score
// opened, and a preview changes nothing of it): the musician waits for the
// one, the drawing can.

// Takes the request to answer next out of `queue` ([{kind, ...}], in the
// order asked).
export function nextRequest(queue) {
    const preview = queue.findIndex((request) => request.kind === "preview");
    const behindPieces = preview > 0 && queue.slice(0, preview).every((request) => request.kind === "excerpt");
    return behindPieces ? queue.splice(preview, 1)[0] : queue.shift();
}
