#!/bin/sh
# Writes the sample folder into $2 and a folder "grid" in it with models, textures and a
# damaged model, few enough for one 800 x 600 window.
set -e
rm -rf "$2"
"$1" "$2"
cd "$2"
mkdir grid
cp models/crate.qrb models/walker.qrb models/metalbox.qrb models/damaged.qrb cells/dxt1.dds cells/dxt5.dds textures/metal.dds grid/
