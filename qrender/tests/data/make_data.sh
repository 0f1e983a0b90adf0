#!/bin/sh
# Makes the TGA and DDS fixtures of the texture tests with ImageMagick (Debian's
# imagemagick, 6.9), an independent writer of both formats. The picture, 16 x 8,
# written as raw RGBA bytes first: opaque red above, blue at alpha 0x80 below, one
# green pixel at (3, 1) and one white pixel at alpha 0x40 at (10, 6). Run from this folder.
set -e
C=/usr/bin/convert
python3 -c '
import sys
out = bytearray()
for y in range(8):
    for x in range(16):
        p = (255, 0, 0, 255) if y < 4 else (0, 0, 255, 128)
        if (x, y) == (3, 1): p = (0, 255, 0, 255)
        if (x, y) == (10, 6): p = (255, 255, 255, 64)
        out += bytes(p)
sys.stdout.buffer.write(out)' > picture.rgba
# ImageMagick keeps rows in file order and the origin as a tag: a bottom-left file of
# the picture needs -flip.
src() {
  $C -size 16x8 -depth 8 rgba:picture.rgba "$@"
}
src -flip -compress none -orient BottomLeft tga32_raw_bl.tga
src -compress none -orient TopLeft tga32_raw_tl.tga
src -flip -compress RLE -orient BottomLeft tga32_rle_bl.tga
src -compress RLE -orient TopLeft tga32_rle_tl.tga
src -flip -alpha off -compress none -orient BottomLeft tga24_raw_bl.tga
src -alpha off -compress RLE -orient TopLeft tga24_rle_tl.tga
# DDS (this version writes no DXT3: the tests make that one): blocks of at most two
# colours and two alphas decode back exactly.
src -define dds:compression=dxt1 -define dds:mipmaps=0 -alpha off dds_dxt1.dds
src -define dds:compression=dxt5 -define dds:mipmaps=0 dds_dxt5.dds
src -define dds:compression=dxt5 -define dds:mipmaps=4 dds_dxt5_mips.dds
rm picture.rgba
