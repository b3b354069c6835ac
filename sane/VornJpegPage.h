// Pages that a scanner sends as JPEG, decoded into the samples a SANE frame carries.
#pragma once

#include "VornSaneOptions.h"

#include <vector>

// Decodes the JPEG file open at fd (read from its start) into RGB or grey samples and sets
// the frame's geometry from the image; false for a file that is not a complete JPEG image.
bool VornDecodeJpegPage(int fd, bool bColor, std::vector<unsigned char>& samples, stVornFrame& frame);
