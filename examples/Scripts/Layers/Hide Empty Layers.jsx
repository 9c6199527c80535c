// Hides the layers of the front document that hold no items.
var layers = app.activeDocument.layers;
for (var i = 0; i < layers.length; i++) {
  if (layers[i].pageItems.length === 0) layers[i].visible = false;
}
