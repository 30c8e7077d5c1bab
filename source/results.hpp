#pragma once
// Result-file header block and the averaging / RMS post-processing of the basis-size file.

#include <cstdio>
#include <ctime>
#include <string>

namespace skarven {

// Writes the ";"-commented header block for the current settings and pass.
void write_header(std::FILE* unit);
// The header's date line for a local time: day, month, hour and minute blank-padded, "." between.
std::string header_date_line(const std::tm& local);

// The header of the partial-wave files: write_header, then lmax, lconv, angles, the l reached
// by the loop and the units of the columns.
void write_partial_wave_header(std::FILE* unit, int lmax_reached);

// Block averages of delta over 50 basis sizes: root.avg. Problems are warnings or notes.
void avrg(const std::string& root);
// Growing-window RMS deviation from the analytic value: root.rms. Problems are warnings or notes.
void rmse(const std::string& root);

}  // namespace skarven
