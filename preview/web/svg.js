// SVG elements made by the page's own drawings (the map's marks, the taps,
// the tempo lane).
export const SVG_NS = "http://www.w3.org/2000/svg";

export function svgElement(name, attributes = {}) {
    const element = document.createElementNS(SVG_NS, name);
    for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
    return element;
}
