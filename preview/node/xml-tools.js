// The MusicXML modules' tools under Node: Debian's node-xmldom (the DOMParser
// interface a browser has built in) and node-jszip for .mxl archives.
// Debian's own node finds them in /usr/share/nodejs; a node from elsewhere is
// shown that folder (for jszip's own requires as well).
import { createRequire } from "node:module";

const require = createRequire(import.meta.url);
const DEBIAN_FOLDERS = ["/usr/share/nodejs", "/usr/lib/nodejs"];

function load(name) {
    try {
        return require(name);
    } catch (error) {
        if (error.code !== "MODULE_NOT_FOUND") throw error;
    }
    const Module = require("node:module");
    process.env.NODE_PATH = [process.env.NODE_PATH, ...DEBIAN_FOLDERS].filter(Boolean).join(":");
    Module._initPaths();
    return require(name);
}

const { DOMParser, XMLSerializer } = load("@xmldom/xmldom");
export const tools = { DOMParser, XMLSerializer, JSZip: load("jszip") };
