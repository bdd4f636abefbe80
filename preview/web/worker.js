// The page's Worker: the plug-in in WebAssembly, the MusicXML modules (the
// same xmldom parser the command line reads with, so that both read a score
// alike; a Worker has no DOMParser) and one Session. Requests are answered
// in the order they come, each with its id; a preview or an opened file
// that a later one of its kind, already waiting, replaces is not worked on.
import { DOMParser, XMLSerializer } from "@xmldom/xmldom";
import JSZip from "jszip";
import { loadPlugin } from "./plugin-web.js";
import { Session, errorData } from "./session.js";
import { nextRequest } from "./work-order.js";

const session = loadPlugin().then((plugin) => new Session(plugin, { DOMParser, XMLSerializer, JSZip }));
const queue = [];
let working = false;

const REPLACEABLE = new Set(["open", "preview"]);

self.onmessage = (event) => {
    queue.push(event.data);
    if (!working) work();
};

async function work() {
    working = true;
    while (queue.length) {
        const request = nextRequest(queue);
        if (REPLACEABLE.has(request.kind) && queue.some((later) => later.kind === request.kind)) {
            self.postMessage({ id: request.id, superseded: true });
            continue;
        }
        try {
            const value = await answer(await session, request);
            self.postMessage({ id: request.id, value }, transfers(value));
        } catch (error) {
            self.postMessage({ id: request.id, error: errorData(error) });
        }
    }
    working = false;
}

function answer(session, request) {
    switch (request.kind) {
        case "open": return session.open(request.name, request.bytes, request.key, request.keep);
        case "preview": return session.preview(request.args, request.withScore, request.id);
        case "sound": return session.sound(request.of, request.part);
        case "musicxml": return session.musicxml(request.of);
        case "notation": return session.notation(request.time);
        case "excerpt": return session.excerpt(request.of, request.piece);
        default: throw new Error(`no such request: ${request.kind}`);
    }
}

// The bytes a reply hands over rather than copies. A reply of text (a
// piece of the score) has none: its characters are not looked through one
// by one (80 ms a piece of an orchestral score).
function transfers(value) {
    if (typeof value !== "object" || value === null) return [];
    return Object.values(value).filter((v) => v instanceof Uint8Array).map((v) => v.buffer);
}
