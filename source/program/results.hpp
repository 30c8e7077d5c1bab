#pragma once
// Result-file header block and the averaging / RMS post-processing of the basis-size file.

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace skarven {

// A result file open for writing. Every write, flush and close is checked: a failure (a full
// disk, an I/O error) throws Error "unable to write the output file <name>" in the name of the
// routine that writes the file. What was flushed before stays on disk.
class ResultFile {
  public:
    // Creates or replaces the file; is_open() tells whether that worked.
    ResultFile(std::string_view routine, std::string name);
    ~ResultFile();
    ResultFile(const ResultFile&) = delete;
    ResultFile& operator=(const ResultFile&) = delete;

    bool is_open() const { return unit_ != nullptr; }
    // Throws Error "unable to open the output file <name>" when the file did not open.
    void require_open() const;
    const std::string& name() const { return name_; }
    // Lines of put_line are collected up to `bytes` and then written a page of the file at a
    // time, each write holding whole lines within one page, a line that straddles two pages on
    // its own: the kernel gives up a write cut short by kill -9 only between pages, so a killed
    // run leaves whole lines as with a flush per line, at a fraction of the system calls. For
    // files of millions of lines, where a flush per line would double the run time. Once
    // batched, only put_line writes to the file.
    void batch_lines(std::size_t bytes);
    std::FILE* unit() const { return unit_; }
    void write(std::string_view text);
    void write_line(std::string_view line);
    // write_line, flushed once the batch is full (every line when not batched), so that a killed
    // run leaves whole lines and a failed write ends the run within one batch of it.
    void put_line(std::string_view line);
    void flush();
    void close();

  private:
    [[noreturn]] void fail() const;
    void write_batch();

    std::string routine_;
    std::string name_;
    std::FILE* unit_ = nullptr;
    std::size_t batch_ = 0;        // bytes of put_line between flushes; 0: every line is flushed
    std::string batch_text_;       // lines collected, not yet written
    long long batch_offset_ = -1;  // where they go in the file
    std::size_t page_ = 0;         // the system's page size
    int exceptions_at_open_;  // more in flight at destruction: an error is unwinding the writer
};

// Where the writes of `text` (whole lines) at file position `offset` end, so that each write holds
// whole lines within one page of the file, or a single line that straddles two pages.
std::vector<std::size_t> page_write_ends(long long offset, std::string_view text, std::size_t page);

// The energy column of every energy-pass file: F10.6, giving up decimals from 1000 on
// ("1000.00000") so that the value stays readable.
std::string energy_field(double e);

// Writes the ";"-commented header block for the current settings and pass.
void write_header(std::FILE* unit);
// The header's date line for a local time: day, month, hour and minute blank-padded, "." between.
std::string header_date_line(const std::tm& local);

// The header of the partial-wave files: write_header, then lmax, lconv, angles, the l reached
// by the loop and the units of the columns.
void write_partial_wave_header(std::FILE* unit, int lmax_reached);

// Block averages of delta over 50 basis sizes: root.avg. Problems are warnings or notes.
void write_block_averages(const std::string& root);
// Growing-window RMS deviation from the analytic value: root.rms. Problems are warnings or notes.
void write_rms_errors(const std::string& root);

}  // namespace skarven
