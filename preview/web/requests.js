// Requests to the preview's Worker, each answered by its id: send(request,
// transfer) gives {id, answer}, a promise of the reply's value.

// What a rejected request says: an input the preview refuses carries the
// fields it is about and its sentence (InputError's), `superseded` a request
// that was not worked on.
function failure(reply) {
    if (reply.superseded) return Object.assign(new Error("superseded"), { superseded: true });
    return Object.assign(new Error(reply.error.message), reply.error);
}

export function requestsTo(worker) {
    const waiting = new Map();
    let last = 0;
    let failed = null;
    worker.addEventListener("message", ({ data }) => {
        const request = waiting.get(data.id);
        waiting.delete(data.id);
        if ("value" in data) request.resolve(data.value);
        else request.reject(failure(data));
    });
    // A Worker that fails to start, or dies, fails every request it holds,
    // and every one after rather than leaving it waiting for good.
    worker.addEventListener("error", (event) => {
        event.preventDefault();
        failed ??= event.message || "the preview's worker stopped";
        for (const request of waiting.values()) request.reject(new Error(failed));
        waiting.clear();
    });
    return (request, transfer = []) => {
        const id = ++last;
        if (failed) return { id, answer: Promise.reject(new Error(failed)) };
        const answer = new Promise((resolve, reject) => waiting.set(id, { resolve, reject }));
        worker.postMessage({ ...request, id }, transfer);
        return { id, answer };
    };
}
