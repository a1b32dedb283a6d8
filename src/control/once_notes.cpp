// Notes written once per run, placed in band order.
#include "control/once_notes.hpp"

#include "control/run_state.hpp"

namespace abyss {

bool& note_written(RunRecords& r, OnceNote id) {
  switch (id) {
    case OnceNote::qag_zetatoz: return r.cztozeta.qag_warned_zetatoz;
    case OnceNote::qag_ztozeta: return r.cztozeta.qag_warned_ztozeta;
    case OnceNote::negative_particle_a: break;
  }
  return r.iopflags.ac9.negative_particle_a_warned;
}

namespace {

std::size_t text_length(std::ostream& os) {
  const auto at = os.tellp();
  return at < 0 ? 0 : static_cast<std::size_t>(at);
}

}  // namespace

void write_once(RunState& rs, OnceNote id, const std::string& con, const std::string& pr) {
  bool& written = note_written(rs, id);
  if (written) return;
  written = true;
  if (rs.kept_notes != nullptr) {
    rs.kept_notes->push_back({id, text_length(rs.con()), text_length(rs.pr()), con, pr});
    return;
  }
  rs.con() << con;
  rs.pr() << pr;
}

void place_notes(RunRecords& run, RunRecords& band, const std::vector<KeptNote>& notes, std::string& con,
                 std::string& pr) {
  // From the last note back, so that the places of the earlier ones hold.
  for (auto it = notes.rbegin(); it != notes.rend(); ++it) {
    const KeptNote& n = *it;
    if (note_written(run, n.id)) continue;
    con.insert(n.con_at, n.con);
    pr.insert(n.pr_at, n.pr);
  }
  for (int i = 0; i < kOnceNotes; ++i) {
    const auto id = static_cast<OnceNote>(i);
    note_written(band, id) = note_written(band, id) || note_written(run, id);
  }
}

}  // namespace abyss
