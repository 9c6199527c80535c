// Gives every artboard of the front document a numbered name.
var doc = app.activeDocument;
for (var i = 0; i < doc.artboards.length; i++) {
  doc.artboards[i].name = "Artboard " + (i + 1);
}
