// Tells how many paths the front document holds.
alert(app.activeDocument.pathItems.length + " paths");
