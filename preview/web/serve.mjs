// Serves the single-file page on 127.0.0.1 for development, and nothing
// else: every other path is 404. Stops on Ctrl-C, or after the given time.
//   node preview/web/serve.mjs FILE.html PORT SECONDS
import { createServer } from "node:http";
import { readFile } from "node:fs/promises";
import { basename } from "node:path";

const [file, portText = "8018", secondsText = "3600"] = process.argv.slice(2);
const name = basename(file);
const server = createServer(async (request, response) => {
    const path = new URL(request.url, "http://127.0.0.1").pathname;
    if (path !== "/" && path !== `/${name}`) {
        response.writeHead(404, { "content-type": "text/plain" }).end("not found\n");
        return;
    }
    // Read on each request, so a rebuild shows on reload.
    const html = await readFile(file);
    response.writeHead(200, { "content-type": "text/html; charset=utf-8", "cache-control": "no-store" }).end(html);
});
server.listen(Number(portText), "127.0.0.1", () => {
    const { port } = server.address();
    console.log(`Preview page: http://127.0.0.1:${port}/${name}`);
    console.log(`(Ctrl-C stops it; it stops by itself after ${secondsText} s)`);
});
const stop = () => server.close(() => process.exit(0));
process.on("SIGINT", stop);
process.on("SIGTERM", stop);
setTimeout(stop, Number(secondsText) * 1000).unref();
