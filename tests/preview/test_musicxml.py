"""Reading MusicXML scores is checked in preview/test/musicxml.test.js; this
file is left without tests until the suite list in tests/preview.cmake drops
it."""
