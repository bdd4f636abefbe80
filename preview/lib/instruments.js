// Which General MIDI instrument a part sounds on when its score names no
// MIDI program: from the MusicXML instrument sound it names
// ("strings.violin", "brass.french-horn"), else from the words of its
// instrument's or its part's name ("Violin I", "Cor anglais", "Kontrabass"),
// else the piano. And which drum of the General MIDI kit an unpitched
// instrument without a MIDI key plays, by the same two readings.
// Plain tables, programs and keys counted from 0 as MIDI bytes carry them.
// Browser-safe.

export const PIANO = 0;
const CHOIR = 52;

// MusicXML's standard instrument sounds, by their dotted names; a name not
// listed takes its nearest listed parent ("wind.flutes.flute.bass" is a
// flute, "brass.trumpet.baroque" a trumpet).
const SOUND_PROGRAMS = {
    keyboard: 0, "keyboard.piano": 0, "keyboard.piano.electric": 4, "keyboard.harpsichord": 6, "keyboard.clavichord": 7,
    "keyboard.clavinet": 7, "keyboard.celesta": 8, "keyboard.organ": 19, "keyboard.organ.drawbar": 16,
    "keyboard.organ.percussive": 17, "keyboard.organ.rotary": 18, "keyboard.organ.reed": 20, "keyboard.harmonium": 20,
    "keyboard.accordion": 21, "keyboard.bandoneon": 23, "keyboard.synth": 80,
    strings: 48, "strings.violin": 40, "strings.viola": 41, "strings.cello": 42, "strings.contrabass": 43,
    "strings.group": 48, "strings.group.synth": 50, "strings.harp": 46, "strings.fiddle": 110, "strings.viol": 41,
    "strings.viola-da-gamba": 42,
    pluck: 24, "pluck.guitar": 24, "pluck.guitar.acoustic": 24, "pluck.guitar.nylon-string": 24, "pluck.guitar.steel-string": 25,
    "pluck.guitar.electric": 27, "pluck.bass": 32, "pluck.bass.acoustic": 32, "pluck.bass.electric": 33,
    "pluck.bass.fretless": 35, "pluck.banjo": 105, "pluck.harp": 46, "pluck.lute": 24, "pluck.mandolin": 25,
    "pluck.sitar": 104, "pluck.koto": 107, "pluck.shamisen": 106, "pluck.dulcimer": 15, "pluck.kalimba": 108,
    brass: 61, "brass.trumpet": 56, "brass.cornet": 56, "brass.flugelhorn": 56, "brass.french-horn": 60,
    "brass.mellophone": 60, "brass.wagner-tuba": 60, "brass.alphorn": 60, "brass.trombone": 57, "brass.tuba": 58,
    "brass.euphonium": 58, "brass.baritone-horn": 58, "brass.sousaphone": 58, "brass.group": 61, "brass.group.synth": 62,
    wind: 73, "wind.flutes": 73, "wind.flutes.flute": 73, "wind.flutes.flute.piccolo": 72, "wind.flutes.recorder": 74,
    "wind.flutes.panpipes": 75, "wind.flutes.blown-bottle": 76, "wind.flutes.shakuhachi": 77, "wind.flutes.whistle": 78,
    "wind.flutes.ocarina": 79, "wind.reed": 71, "wind.reed.oboe": 68, "wind.reed.english-horn": 69,
    "wind.reed.oboe-da-caccia": 69, "wind.reed.bassoon": 70, "wind.reed.contrabassoon": 70, "wind.reed.clarinet": 71,
    "wind.reed.saxophone": 65, "wind.reed.saxophone.soprano": 64, "wind.reed.saxophone.alto": 65,
    "wind.reed.saxophone.tenor": 66, "wind.reed.saxophone.baritone": 67, "wind.reed.harmonica": 22,
    "wind.reed.shenai": 111, "wind.pipes.bagpipes": 109,
    voice: CHOIR, "voice.synth": 54,
    "pitched-percussion": 13, "pitched-percussion.glockenspiel": 9, "pitched-percussion.music-box": 10,
    "pitched-percussion.vibraphone": 11, "pitched-percussion.marimba": 12, "pitched-percussion.xylophone": 13,
    "pitched-percussion.tubular-bells": 14, "pitched-percussion.chimes": 14, "pitched-percussion.crotales": 9,
    "pitched-percussion.steel-drums": 114, "pitched-percussion.kalimba": 108, "pitched-percussion.celesta": 8,
    "drum.timpani": 47, "pitched-percussion.timpani": 47, synth: 80, "synth.pad": 88,
};

// Words of instrument and part names, in the languages scores are written
// in, lower case and without accents. A word of the name matches an entry
// that it starts with (so "violins", "violini" and "violine" are violins),
// the longest entry winning ("violoncello" over "violon", "bassoon" over
// "bass"); entries of three letters or fewer match whole words only.
const WORD_PROGRAMS = {
    piano: 0, pianoforte: 0, fortepiano: 0, klavier: 0, pno: 0, pf: 0, keyboard: 0,
    harpsichord: 6, cembalo: 6, clavecin: 6, clavicembalo: 6, clavichord: 7, celesta: 8, glockenspiel: 9,
    vibraphon: 11, vibes: 11, marimba: 12, xylophon: 13, xilofono: 13, chimes: 14, campane: 14, cloches: 14,
    organ: 19, orgel: 19, organo: 19, orgue: 19, harmonium: 20, accordion: 21, akkordeon: 21, bandoneon: 23,
    harmonica: 22, guitar: 24, gitarre: 24, chitarra: 24, guitare: 24, gtr: 24, lute: 24, laute: 24, liuto: 24,
    theorbo: 24, tiorba: 24, mandolin: 25, mandolino: 25,
    violin: 40, violon: 40, violino: 40, geige: 40, vln: 40, vl: 40, vn: 40,
    viola: 41, viole: 41, bratsche: 41, vla: 41, va: 41,
    cello: 42, violoncell: 42, vc: 42, vlc: 42, continuo: 42, gamba: 42,
    contrabass: 43, kontrabass: 43, contrabbass: 43, contrebass: 43, cb: 43, kb: 43, bassi: 43, violone: 43,
    contrabassoon: 70, kontrafagott: 70, contrafagott: 70, controfagott: 70, contrebasson: 70,
    harp: 46, harfe: 46, arpa: 46, harpe: 46, timpan: 47, pauke: 47, timbales: 47, timp: 47,
    strings: 48, streicher: 48, archi: 48, cordes: 48,
    choir: CHOIR, chor: CHOIR, coro: CHOIR, choeur: CHOIR, chorus: CHOIR, voice: CHOIR, voix: CHOIR, voce: CHOIR,
    stimme: CHOIR, vocal: CHOIR, singer: CHOIR, cantus: CHOIR, canto: CHOIR, sopran: CHOIR, mezzo: CHOIR,
    contralto: CHOIR, countertenor: CHOIR, tenor: CHOIR, tenore: CHOIR, baritone: CHOIR, bariton: CHOIR, bass: CHOIR,
    basso: CHOIR, alto: CHOIR, alt: CHOIR, altus: CHOIR, bassus: CHOIR, sop: CHOIR, ten: CHOIR, bar: CHOIR,
    // A choir's parts by their initials, and the voices of a madrigal.
    s: CHOIR, a: CHOIR, t: CHOIR, b: CHOIR, quinto: CHOIR, quintus: CHOIR, sesto: CHOIR, sextus: CHOIR,
    discantus: CHOIR, superius: CHOIR, medius: CHOIR, contratenor: CHOIR,
    trumpet: 56, trompete: 56, tromba: 56, trombe: 56, trompette: 56, tpt: 56, trp: 56, cornet: 56, flugelhorn: 56,
    trombone: 57, posaune: 57, tbn: 57, trb: 57, tuba: 58, euphonium: 58, sousaphone: 58,
    horn: 60, waldhorn: 60, corno: 60, corni: 60, cor: 60, cors: 60, hn: 60, brass: 61, blech: 61, ottoni: 61,
    saxophon: 65, sax: 65, oboe: 68, hautbois: 68, oboi: 68, ob: 68, bassoon: 70, basson: 70, fagott: 70, fag: 70, bsn: 70,
    clarinet: 71, klarinette: 71, clarinetto: 71, clarinette: 71, clarinetti: 71, cl: 71, kl: 71,
    piccolo: 72, ottavino: 72, picc: 72, flute: 73, flote: 73, floete: 73, flauto: 73, flauti: 73, fl: 73,
    recorder: 74, blockflote: 74, blockfloete: 74, panpipe: 75, panflute: 75, whistle: 78, ocarina: 79,
    synth: 80, sitar: 104, banjo: 105, shamisen: 106, koto: 107, kalimba: 108, bagpipe: 109, dudelsack: 109,
    fiddle: 110,
};

// Names of more than one word that mean otherwise than their words alone.
const PHRASE_PROGRAMS = [
    ["english horn", 69], ["cor anglais", 69], ["corno inglese", 69], ["englisch horn", 69], ["englischhorn", 69],
    ["french horn", 60], ["double bass", 43], ["string bass", 43], ["basso continuo", 42], ["bass guitar", 33],
    ["electric bass", 33], ["fretless bass", 35], ["acoustic bass", 32], ["upright bass", 32],
    ["electric guitar", 27], ["jazz guitar", 26], ["steel guitar", 25], ["electric piano", 4],
    ["bass clarinet", 71], ["bass trombone", 57], ["bass flute", 73], ["alto flute", 73], ["alto clarinet", 71],
    ["soprano sax", 64], ["alto sax", 65], ["tenor sax", 66], ["baritone sax", 67], ["bari sax", 67],
    ["pan flute", 75], ["baritone horn", 58], ["steel drum", 114], ["tubular bell", 14], ["string ensemble", 48], ["contra bass", 43],
];

// The General MIDI drum kit, keys from 0 (a MIDI byte), for unpitched
// instruments whose score gives no key: by instrument sound (a name not
// listed takes its nearest listed parent) and by the words of a name.
const SOUND_DRUMS = {
    drum: 38, "drum.bass-drum": 36, "drum.bass-drum.gran-cassa": 36, "drum.snare-drum": 38, "drum.side-stick": 37,
    "drum.tom-tom": 45, "drum.tom-tom.floor": 41, "drum.tambourine": 54, "drum.bongo": 60, "drum.conga": 63,
    "drum.timbale": 65, "drum.cajon": 38, "drum.tabla": 60,
    metal: 49, "metal.cymbal": 49, "metal.cymbal.crash": 49, "metal.cymbal.ride": 51, "metal.cymbal.china": 52,
    "metal.cymbal.splash": 55, "metal.cymbal.suspended": 49, "metal.hi-hat": 42, "metal.triangle": 81,
    "metal.cowbell": 56, "metal.agogo": 67, "metal.gong": 52, "metal.tam-tam": 52, "metal.bells.sleigh-bells": 54,
    wood: 76, "wood.wood-block": 76, "wood.temple-block": 77, "wood.claves": 75, "wood.guiro": 73, "wood.cabasa": 69,
    "wood.maraca": 70, "wood.vibraslap": 58, "effect.hand-clap": 39, "effect.whistle": 71, "rattle.maraca": 70,
    "rattle.cabasa": 69,
};
const DRUM_WORDS = {
    snare: 38, "side stick": 37, rimshot: 37, "bass drum": 36, kick: 36, "gran cassa": 36, "grosse caisse": 36,
    "grosse trommel": 36, "kleine trommel": 38, "caisse claire": 38, "tamburo": 38, tom: 45, "floor tom": 41,
    "hi hat": 42, hihat: 42, "hi-hat": 42, cymbal: 49, cymbals: 49, piatti: 49, becken: 49, cymbales: 49,
    crash: 49, ride: 51, china: 52, splash: 55, gong: 52, "tam tam": 52, tamtam: 52, triangle: 81, triangel: 81,
    triangolo: 81, tambourine: 54, tamburin: 54, tamburello: 54, "tambour de basque": 54, cowbell: 56, agogo: 67,
    "wood block": 76, woodblock: 76, "temple block": 77, claves: 75, guiro: 73, cabasa: 69, maracas: 70, bongo: 60,
    bongos: 60, conga: 63, congas: 63, timbale: 65, vibraslap: 58, clap: 39, claps: 39, "sleigh bells": 54,
    schellen: 54, castanets: 75, kastagnetten: 75, drum: 38, drums: 38, percussion: 38, perc: 38, schlagzeug: 38,
};

// A name's words: lower case, accents and punctuation gone ("Violino I." is
// "violino i", "Flöte" is "flote").
export function nameWords(text) {
    return String(text ?? "").normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase()
        .replace(/ß/g, "ss").split(/[^a-z0-9]+/).filter(Boolean);
}

// A dotted instrument sound's entry in `table`: its own, else its nearest
// listed parent's; undefined when none is.
function bySound(table, sound) {
    const segments = String(sound ?? "").trim().toLowerCase().split(".").filter(Boolean);
    for (let n = segments.length; n > 0; n -= 1) {
        const key = segments.slice(0, n).join(".");
        if (Object.hasOwn(table, key)) return table[key];
    }
    return undefined;
}

// A name's entry among whole phrases first, then by its words: the first
// word that means an instrument decides, a voice's range ("alto", "bass")
// only when no other word does ("Alto Flute" is a flute, "Alto" a voice).
function byName(name) {
    const words = nameWords(name);
    if (!words.length) return undefined;
    const joined = ` ${words.join(" ")} `;
    for (const [phrase, program] of PHRASE_PROGRAMS) if (joined.includes(` ${phrase}`)) return program;
    const found = words.map(wordProgram).filter((program) => program !== undefined);
    return found.find((program) => program !== CHOIR) ?? found[0];
}

function wordProgram(word) {
    let best;
    let length = 0;
    for (const [root, program] of Object.entries(WORD_PROGRAMS)) {
        const matches = root.length <= 3 ? word === root : word.startsWith(root);
        if (matches && root.length > length) [best, length] = [program, root.length];
    }
    return best;
}

// The program of a part without a MIDI program: the first of its readings
// (instrument sounds, then names, in the order given) that means one, else
// the piano. readings: [{sound} or {name}].
export function programFor(readings) {
    for (const reading of readings) {
        const program = readingProgram(reading);
        if (program !== undefined) return program;
    }
    return PIANO;
}

// The program a part sounds on: the one its score gives, else what its
// readings mean. A given piano is what notation programs and exporters
// write for a part whose sound nobody chose ("Violin 1" on "Acoustic Grand
// Piano", every part of a chorale on program 1), so a part given it plays
// the first other instrument its readings mean; an instrument sound that
// means the piano before any other keeps it, as a sound chosen.
export function partProgram(given, readings) {
    if (given === undefined) return programFor(readings);
    if (given !== PIANO) return given;
    for (const reading of readings) {
        const program = readingProgram(reading);
        if (program === PIANO && reading.sound !== undefined) return PIANO;
        if (program !== undefined && program !== PIANO) return program;
    }
    return PIANO;
}

function readingProgram(reading) {
    return reading.sound !== undefined ? bySound(SOUND_PROGRAMS, reading.sound) : byName(reading.name);
}

// The drum key of an unpitched instrument without one, by the same
// readings; null when none names a drum.
export function drumKeyFor(readings) {
    for (const reading of readings) {
        const key = reading.sound !== undefined ? bySound(SOUND_DRUMS, reading.sound) : drumByName(reading.name);
        if (key !== undefined) return key;
    }
    return null;
}

function drumByName(name) {
    const joined = ` ${nameWords(name).join(" ")} `;
    let best;
    let length = 0;
    for (const [words, key] of Object.entries(DRUM_WORDS)) {
        const phrase = nameWords(words).join(" ");
        if (joined.includes(` ${phrase} `) && phrase.length > length) [best, length] = [key, phrase.length];
    }
    return best;
}
