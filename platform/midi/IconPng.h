#pragma once

// Endpoint icons travel in properties as B_CMAP8 bytes (one palette index a
// pixel, rows top to bottom). Services that publish icons to other programs
// need them as PNG, which these functions write: 8-bit RGBA, stored (not
// compressed) deflate blocks, so the encoder stays a few dozen lines. Palette
// entries without alpha (the transparent index) keep theirs.
//
// Thread rules: pure functions, any thread.

#include "platform/support/SupportDefs.h"

#include <string>
#include <vector>

// A PNG of a side x side icon; `pixels` holds side * side palette indexes.
std::vector<uint8> Cmap8IconToPng(const uint8* pixels, uint32 side);

// Standard base64 with padding, as JACK metadata carries images.
std::string EncodeBase64(const std::vector<uint8>& bytes);
