// JPEG images made for the backend's tests, as a scanner that offers JPEG would send them.
#pragma once

#include <vector>

// A flat image of one sample value in every component, at the highest quality.
std::vector<unsigned char> MakeTestJpeg(int width, int height, bool color, unsigned char value);
