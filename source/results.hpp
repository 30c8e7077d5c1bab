#pragma once
// Result-file header block and the averaging / RMS post-processing of the basis-size file.

#include <cstdio>
#include <string>

namespace skarven {

// Writes the ";"-commented header block for the current settings and pass.
void write_header(std::FILE* unit);

// Block averages of delta over 50 basis sizes: root.avg.
void avrg(const std::string& root);
// Growing-window RMS deviation from the analytic value: root.rms.
void rmse(const std::string& root);

}  // namespace skarven
