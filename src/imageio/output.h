// Output files and folders of the player and the tools. A file is written
// whole or not at all, and writing never costs the user something that was
// there before: a regular file is replaced by renaming a finished temporary
// file onto it, a symbolic link is replaced rather than written through, a
// device or pipe is written in place and never removed, and a folder is
// refused.
#pragma once

#include <string>
#include <vector>

#include "imageio/imageio.h"

namespace imageio {

class OutputFile {
 public:
  explicit OutputFile(std::string path);
  ~OutputFile();  // an output that was not committed leaves no trace
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // False once the output cannot be written (Commit reports why).
  bool ok() const { return fd_ >= 0 && error_ == 0; }
  // Appends bytes; false (and the reason kept for Commit) when they could
  // not all be written.
  bool Write(const void* data, size_t size);
  // Flushes and closes, then puts the file in place. The message names the
  // path and the system's reason ("No space left on device").
  IoResult Commit();

 private:
  bool Flush();  // writes out what is buffered

  std::string path_;
  std::string temporary_;  // empty when written in place
  int fd_ = -1;
  std::vector<char> buffer_;  // bytes not written yet
  int error_ = 0;          // errno of the first failure
  std::string refusal_;    // why the output cannot be written at all
};

// Starts the trace (base/trace.h) into `file`, which must outlive it.
void BeginTraceInto(OutputFile& file);

// True when both paths name one existing file. An output that is a symbolic
// link is never the same as its target (the link is what gets replaced), only
// as an input named through that very link.
bool SameFile(const std::string& output, const std::string& input);

// Refuses an output that is one of the inputs or an existing folder, or that
// cannot be made (its folder missing or not writable).
IoResult CheckOutput(const std::string& output, const std::vector<std::string>& inputs);

// Makes `dir` and its parents, refusing a path that is not a folder, then
// removes the numbered pictures an earlier run left there
// (`prefix` + "_" + five or more digits + ".png"; links are removed, not what
// they point to), so the folder holds only this run's pictures.
IoResult PrepareFrameFolder(const std::string& dir, const std::string& prefix);

}  // namespace imageio
