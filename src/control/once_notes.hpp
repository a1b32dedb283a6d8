// Notes a run writes once, in the first band (in band order) that needs them.
// A band solved on a worker thread does not know whether an earlier band,
// solved at the same time on another thread, has written the note: it keeps
// the note with its place in the band's text, and the main thread puts it
// there only if no earlier band wrote it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace abyss {
struct RunRecords;
struct RunState;

enum class OnceNote { qag_zetatoz, qag_ztozeta, negative_particle_a };
constexpr int kOnceNotes = 3;

// A note kept by a band solved on a worker thread: its text and where it goes
// in the band's console and printout text.
struct KeptNote {
  OnceNote id;
  std::size_t con_at, pr_at;
  std::string con, pr;
};

// The run's record that the note has been written.
bool& note_written(RunRecords& r, OnceNote id);

// Writes the note (console text `con`, printout text `pr`) unless the run
// has written it; a band on a worker thread keeps it instead.
void write_once(RunState& rs, OnceNote id, const std::string& con, const std::string& pr);

// Puts the notes band `band` kept into its text where no band before it
// (`run`'s records) wrote them, and carries the run's records of written
// notes into the band's records.
void place_notes(RunRecords& run, RunRecords& band, const std::vector<KeptNote>& notes, std::string& con,
                 std::string& pr);

}  // namespace abyss
