// Data the single-file page carries beside its script rather than in it
// (build.mjs writes it): text in elements that are never run, read when
// first wanted.
export const SOUND_BANK_ID = "zorv-sound-bank";

// The text of the data element `id`, once the parser has read it: the
// page's script starts before the data after it is parsed.
export async function pageData(id) {
    if (document.readyState === "loading") {
        await new Promise((resolve) => document.addEventListener("DOMContentLoaded", resolve, { once: true }));
    }
    const element = document.getElementById(id);
    if (!element) throw new Error(`the page lacks its data ${id}`);
    return element.textContent;
}
