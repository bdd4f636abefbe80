"""The project's Python tools: the tempo map of scripts/demo and the pieces of
scripts/preview (musical arguments, MusicXML scores, scenarios and their
runs, the duration fit, MIDI and audio)."""
