// Opening an output file (new or replaced) with a clear fatal error.
#pragma once

#include <fstream>
#include <string>

namespace abyss {
// Opens `name` for writing, replacing an existing file; a file that cannot be
// created ends the run through herr(routine, ...), naming the file.
void open_output(std::ofstream& os, const std::string& name, const std::string& routine);
// Flushes after a band and stops the run if the file system refused the data.
void flush_output(std::ofstream& os, const std::string& name, const std::string& routine);
}  // namespace abyss
