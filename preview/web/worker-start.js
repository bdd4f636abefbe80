// The preview's Worker, started by the page's first lines while the parser
// still reads the megabytes after them: started by the page's own script,
// it began only once most of the file was read (a quarter of a second
// later), and the first result waited for it to load the plug-in. A
// classic script, with the Worker's text in the element before it
// (build.mjs); engine.js takes the Worker, or why it failed.
(() => {
    const start = { worker: null, failed: null };
    const source = document.getElementById("zorv-worker-source");
    try {
        const url = URL.createObjectURL(new Blob([source.textContent], { type: "text/javascript" }));
        start.worker = new Worker(url);
        start.worker.addEventListener("error", (event) => {
            event.preventDefault();
            start.failed ??= event.message || "the preview's worker stopped";
        });
    } catch (error) {
        start.failed = `the preview's worker could not be started (${error.message})`;
    }
    source.remove();
    globalThis.zorvWorkerStart = start;
})();
