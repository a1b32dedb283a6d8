// The run-input file: records 1 to 32, the output names, the printout file
// and the initialization chain with the five echo sections of the printout.
#include "control/initial.hpp"

#include <algorithm>
#include <filesystem>

#include <fmt/format.h>

#include "bottom/bottom.hpp"
#include "control/driver.hpp"
#include "control/dynz.hpp"
#include "control/errors.hpp"
#include "control/input_ranges.hpp"
#include "control/range_warnings.hpp"
#include "control/run_state.hpp"
#include "grid/surface.hpp"
#include "iop/abscat.hpp"
#include "output/open_output.hpp"
#include "phase/dpf.hpp"
#include "sky/qasky.hpp"
#include "sources/sources.hpp"
#include "util/fortran_format.hpp"
#include "util/list_read.hpp"
#include "util/names.hpp"

namespace abyss {
namespace {

// Reads the records of the run-input file in order and turns every defect of
// the file into a fatal error that names the record.
class RecordReader {
 public:
  explicit RecordReader(RunState& rs) : rs_(rs) {}

  util::ListRecord numbers(int record, std::size_t n) {
    util::ListRecord r;
    try {
      r = util::read_list(*rs_.input, n);
    } catch (const util::ListReadError& e) {
      fail(record, e.what());
    }
    if (r.at_eof()) fail(record, "the file ends before this record");
    return r;
  }
  double real(const util::ListRecord& r, int record, std::size_t i, double dflt = 0.0) {
    try {
      return r.real(i, dflt);
    } catch (const util::ListReadError& e) {
      fail(record, e.what());
    }
  }
  int integer(const util::ListRecord& r, int record, std::size_t i, int dflt = 0) {
    try {
      return static_cast<int>(r.integer(i, dflt));
    } catch (const util::ListReadError& e) {
      fail(record, e.what());
    }
  }
  std::vector<double> reals(int record, std::size_t n) {
    auto r = numbers(record, n);
    if (r.given() < n && r.hit_eof) fail(record, fmt::format("the file ends after {} of {} values", r.given(), n));
    std::vector<double> v(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) v[i] = real(r, record, i);
    return v;
  }
  std::vector<int> integers(int record, std::size_t n) {
    auto r = numbers(record, n);
    if (r.given() < n && r.hit_eof) fail(record, fmt::format("the file ends after {} of {} values", r.given(), n));
    std::vector<int> v(n, 0);
    for (std::size_t i = 0; i < n; ++i) v[i] = integer(r, record, i);
    return v;
  }
  // A record whose second item counts the values that follow it (records 17
  // and 21); at most `max_count` of them are taken.
  util::ListRecord counted(int record, long min_count, long max_count, const char* what, bool strict_max = false) {
    util::ListRecord r;
    {
      util::ListCursor cur(*rs_.input);
      try {
        cur.take(r, 2);
        long n = r.has(1) ? util::parse_integer(*r.items[1]) : 0;
        if (n < min_count) fail(record, fmt::format("the number of {} is {}", what, n));
        // A count beyond any use would pull the following records in as values.
        if (strict_max && n > max_count)
          fail(record, fmt::format("the number of {} is {}; at most {} are used", what, n, max_count));
        cur.take(r, static_cast<std::size_t>(std::min(n, max_count)));
      } catch (const util::ListReadError& e) {
        fail(record, e.what());
      }
    }
    if (r.at_eof()) fail(record, "the file ends before this record");
    // A count larger than the values on the record's line pulls values from
    // the following records; the error then shows up further on.
    if (r.lines > 1)
      counted_note_ = fmt::format(" (record {} took its {} values from {} lines: is its count right?)", record,
                                  r.given() - 2, r.lines);
    return r;
  }
  // A name record; a name longer than its field is an error, never cut (a
  // cut name may well be the name of another file that exists).
  std::string name(int record, std::size_t width = util::kNameLen) {
    auto s = name_or_eof(record, width);
    if (!s) fail(record, "the file ends before this record");
    return *s;
  }
  std::optional<std::string> name_or_eof(int record, std::size_t width = util::kNameLen) {
    auto s = util::read_name_record(*rs_.input, std::string::npos);
    if (s && s->size() > width)
      fail(record, fmt::format("the name is {} characters long; at most {} are allowed", s->size(), width));
    return s;
  }
  // A data-file name with its default directory put in front; the combined
  // name must also fit.
  std::string file(int record, const std::string& name, const std::string& dir) {
    std::string full = util::with_default_dir(name, dir);
    if (full.size() > util::kNameLen)
      fail(record, fmt::format("the file name with its directory, {}, is {} characters long; at most {} are allowed",
                               full, full.size(), util::kNameLen));
    return full;
  }

  // `what` of a record that could not be read carries the note on a counted
  // record that took values from several lines; a value out of its range
  // does not.
  [[noreturn]] void fail(int record, const std::string& what, bool read_error = true) {
    const std::string line =
        fmt::format(" Run-input file, record {}: {}{}", record, what, read_error ? counted_note_ : std::string());
    rs_.con() << line << "\n";
    if (rs_.printout_ready()) rs_.pr() << "\n" << line << "\n";
    herr("initial", fmt::format("bad run-input record {}", record));
  }

 private:
  RunState& rs_;
  std::string counted_note_;
};

// The digital, radiance, spreadsheet and NetCDF files of an earlier run of the same
// root would otherwise sit beside this run's printout as if this run had
// written them (a failing run, or one that does not ask for them).
void remove_stale_outputs(const OutputState& o) {
  namespace fs = std::filesystem;
  for (const std::string* name : {&o.digital_name, &o.radiance_name, &o.single_name, &o.multi_name, &o.netcdf_name}) {
    std::error_code ec;
    fs::remove(*name, ec);
    if (ec && fs::exists(fs::symlink_status(*name, ec)))
      herr("initial", "cannot remove the output file " + *name + " of an earlier run");
  }
}

void open_printout(RunState& rs) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const std::string* d : {&rs.cdirnames.printout, &rs.cdirnames.digital, &rs.cdirnames.excel}) {
    fs::create_directories(*d, ec);
    if (ec && !fs::is_directory(*d)) {
      rs.con() << " cannot create the output directory " << *d << ": " << ec.message() << "\n";
      herr("initial", "cannot create output directory " + *d);
    }
  }
  rs.printout.open(rs.out.printout_name, std::ios::out | std::ios::trunc);
  if (!rs.printout) {
    rs.con() << " cannot open the printout file " << rs.out.printout_name << "\n";
    herr("initial", "cannot open printout file " + rs.out.printout_name);
  }
  remove_stale_outputs(rs.out);
}

void build_names(RunState& rs, const std::string& root, const std::string& title) {
  OutputState& o = rs.out;
  o.root = util::rtrim(root);
  o.printout_name = rs.cdirnames.printout + "P" + o.root + ".txt";
  o.digital_name = rs.cdirnames.digital + "D" + o.root + ".txt";
  o.radiance_name = rs.cdirnames.digital + "L" + o.root + ".txt";
  o.single_name = rs.cdirnames.excel + "S" + o.root + ".txt";
  o.multi_name = rs.cdirnames.excel + "M" + o.root + ".txt";
  o.netcdf_name = rs.cdirnames.digital + o.root + ".nc";
  CalendarTime t = rs.clock();
  std::string dated = util::rtrim(title) + " (" + fmt::format("{:02d}/{:02d}/{:04d} {:02d}:{:02d}", t.month, t.day,
                                                                t.year, t.hour, t.minute) + ")";
  if (dated.size() > util::kNameLen) dated.resize(util::kNameLen);
  rs.ctitle = dated;
}

void limit_error(RunState& rs, const std::string& line, const std::string& routine, const std::string& msg) {
  rs.con() << line << "\n";
  if (rs.printout_ready()) rs.pr() << line << "\n";
  herr(routine, msg);
}

void read_components(RunState& rs, RecordReader& rr) {
  ComponentOpts& c = rs.comp;
  const int ncomp = rs.cmisc.ncomp, nconc = rs.cmisc.nconc;
  auto conc = rr.reals(7, static_cast<std::size_t>(nconc));
  for (int k = 1; k <= nconc; ++k) c.constconc(k) = conc[static_cast<std::size_t>(k - 1)];
  for (int k = 1; k <= nconc; ++k) {  // record 8
    auto r = rr.numbers(8, 5);
    c.conc_opt(k) = rr.integer(r, 8, 0);
    c.astar_opt(k) = rr.integer(r, 8, 1);
    c.astar_wave0(k) = rr.real(r, 8, 2);
    c.astar_A(k) = rr.real(r, 8, 3);
    c.astar_S(k) = rr.real(r, 8, 4);
  }
  for (int k = 1; k <= nconc; ++k) c.astar_file[static_cast<std::size_t>(k)] = rr.file(9, rr.name(9), rs.cdirnames.data);
  for (int k = 1; k <= ncomp; ++k) {  // record 10
    auto r = rr.numbers(10, 6);
    int ibs = rr.integer(r, 10, 0);
    c.bstar_opt(k) = ibs;
    c.bstar_B(k) = rr.real(r, 10, 1);
    c.bstar_X(k) = rr.real(r, 10, 2);
    double p1 = rr.real(r, 10, 3), p2 = rr.real(r, 10, 4), p3 = rr.real(r, 10, 5);
    c.bstar_n(k) = c.bstar_m(k) = c.bstar_i(k) = 0.0;
    c.bstar_wave0(k) = 1.0;
    if (ibs == 1 || ibs == 4) {
      c.bstar_n(k) = p1;
      c.bstar_wave0(k) = p2;
    } else if (ibs == 2) {
      c.bstar_m(k) = p1;
      c.bstar_i(k) = p2;
      c.bstar_wave0(k) = p3;
    }
  }
  for (int k = 1; k <= ncomp; ++k) c.bstar_file[static_cast<std::size_t>(k)] = rr.file(11, rr.name(11), rs.cdirnames.data);
  for (int k = 1; k <= ncomp; ++k) {  // record 12
    auto r = rr.numbers(12, 5);
    c.pf_opt(k) = rr.integer(r, 12, 0);
    c.bbtob(k) = rr.real(r, 12, 1);
    c.bb_wave0(k) = rr.real(r, 12, 2);
    c.bb_coef(k) = rr.real(r, 12, 3);
    c.bb_expo(k) = rr.real(r, 12, 4);
  }
  for (int k = 1; k <= ncomp; ++k) {  // record 13: the phase-function directory always goes in front
    std::string n = util::native_path(util::rtrim(rr.name(13)));
    std::string full = rs.cdirnames.phasefun + n;
    if (full.size() > util::kNameLen)
      rr.fail(13, fmt::format("the file name with its directory, {}, is {} characters long; at most {} are allowed", full,
                              full.size(), util::kNameLen));
    rs.files.dpf[static_cast<std::size_t>(k)] = full;
  }
}

void read_wavelengths(RunState& rs, RecordReader& rr) {
  auto r = rr.numbers(14, 1);
  int nwave = rr.integer(r, 14, 0);
  if (nwave > mxwave)
    limit_error(rs, " nwave =" + ff::I(nwave, 3) + " gt mxwave =" + ff::I(mxwave, 3), "initial",
                "increase wavelength LIMIT in UI");
  if (nwave < 0) rr.fail(14, "the number of wavelength bands is negative");
  if (nwave == 0) {  // record 15b: one band one nanometre wide, constant IOPs
    auto v = rr.reals(15, 3);
    rs.cmisc.nwave = 1;
    rs.cwave.wave(1) = v[0];
    rs.cwave.waveb(1) = v[0] - 0.5;
    rs.cwave.waveb(2) = v[0] + 0.5;
    rs.cmisc.aconst = v[1];
    rs.cmisc.bconst = v[2];
    if (!(v[1] >= 0.0)) rr.fail(15, fmt::format("constant absorption a = {:g} 1/m is negative", v[1]), false);
    if (!(v[2] >= 0.0)) rr.fail(15, fmt::format("constant scattering b = {:g} 1/m is negative", v[2]), false);
    return;
  }
  auto b = rr.reals(15, static_cast<std::size_t>(nwave + 1));
  for (int j = 1; j <= nwave + 1; ++j) rs.cwave.waveb(j) = b[static_cast<std::size_t>(j - 1)];
  for (int j = 1; j <= nwave; ++j) {
    // Bands of zero or negative width would give negative band integrals
    // (PAR, colour) without any sign of trouble.
    if (!(rs.cwave.waveb(j + 1) > rs.cwave.waveb(j))) rr.fail(15, "band boundaries are not increasing");
    rs.cwave.wave(j) = 0.5 * (rs.cwave.waveb(j) + rs.cwave.waveb(j + 1));
  }
  rs.cmisc.nwave = nwave;
  rs.cmisc.aconst = rs.cmisc.bconst = -1.0;
}

void read_sky(RunState& rs, RecordReader& rr) {
  // Record 17: iskyflag, the count n, then n values, all one record.
  util::ListRecord r = rr.counted(17, 0, 10, "sky values", true);
  Sky& sky = rs.csky;
  sky.iskyflag = rr.integer(r, 17, 0);
  const std::size_t n = r.given() > 2 ? r.given() - 2 : 0;
  sky.skydata.assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) sky.skydata[i] = rr.real(r, 17, i + 2);
  auto val = [&](std::size_t i) { return i < n ? sky.skydata[i] : 0.0; };  // missing trailing values are 0
  switch (sky.iskyflag) {
    case 1:
      sky.suntheta = val(0);
      sky.sunphi = val(1);
      sky.C = val(2);
      sky.Rsky = val(3);
      sky.Edtotl = val(4);
      break;
    case 2:
      sky.suntheta = val(0);
      sky.sunphi = val(1);
      sky.cloud = val(2);
      break;
    case 3:
      sky.gmt = val(0);
      sky.cloud = val(1);
      sky.sunphi = val(2);
      break;
    default: {
      rs.con() << " invalid sky model option:  iskyflag =" << ff::ld(static_cast<long long>(sky.iskyflag)) << "\n";
      std::string vals = " skydata =";
      for (double v : sky.skydata) vals += ff::ld(v);
      rs.con() << vals << "\n";
      herr("initial", "invalid sky model");
    }
  }
}

void read_atmosphere_surface_bottom(RunState& rs, RecordReader& rr) {
  auto a = rr.reals(18, 10);  // record 18: sun and atmosphere
  ClearSkyInput& g = rs.cgcirr1;
  g.jday = a[0];
  g.rlat = a[1];
  g.rlon = a[2];
  g.pressure = a[3];
  g.am = a[4];
  g.rh = a[5];
  g.wv = a[6];
  g.vis = a[7];
  g.wsm = a[8];
  g.ro3 = a[9];
  rs.csky.jday = a[0];
  rs.csky.rlat = a[1];
  rs.csky.rlon = a[2];
  auto w = rr.reals(19, 4);  // record 19: wind, index of refraction, temperature, salinity
  rs.cmisc.windspd = w[0];
  rs.cmisc.refr = w[1];
  rs.cmisc.temp = w[2];
  rs.cmisc.salinity = w[3];
  auto b = rr.numbers(20, 2);  // record 20: bottom type, reflectance
  rs.cmisc.ibotm = rr.integer(b, 20, 0);
  rs.cmisc.rbottom = rr.real(b, 20, 1);
}

void depth_error(RunState& rs, const std::vector<double>& z) {
  std::ostream& p = rs.pr();
  p << "\n\n ERROR:\n depths are not monotonically increasing\n\n depths = \n";
  for (std::size_t i = 0; i < z.size(); ++i) {
    p << ff::F(z[i], 10, 3);
    if ((i + 1) % 10 == 0 || i + 1 == z.size()) p << "\n";
  }
  rs.printout.close();
  herr("initial", "invalid depths");
}

void read_depths(RunState& rs, RecordReader& rr) {
  // Record 21: iop, nz, then nz depths, one record.
  util::ListRecord r = rr.counted(21, 1, mxz, "output depths");
  rs.cmisc.iop = rr.integer(r, 21, 0);
  const std::size_t n = r.given() > 2 ? r.given() - 2 : 0;
  long want = std::min<long>(rr.integer(r, 21, 1), mxz);
  if (static_cast<long>(n) < want) rr.fail(21, fmt::format("{} depths given where {} were announced", n, want));
  std::vector<double> z(n);
  for (std::size_t i = 0; i < n; ++i) z[i] = rr.real(r, 21, i + 2);
  for (std::size_t i = 1; i < n; ++i)
    if (!(z[i] > z[i - 1])) depth_error(rs, z);
  rs.cgrid.zreq = z;
  rs.cgrid.nz_requested = static_cast<int>(n);
  rs.cmisc.nz = static_cast<int>(n);
  for (std::size_t i = 0; i < n; ++i) rs.cgrid.z(static_cast<int>(i + 1)) = z[i];
  if (rs.cmisc.iop == 1 && rs.cmisc.nsource > 0) {
    rs.pr() << "\n\nERROR:\n OPTICAL depth being used with internal sources:  MUST use GEOMETRIC depth\n";
    herr("initial", "cannot use optic depth when inelastic sources present");
  }
}

void read_data_files(RunState& rs, RecordReader& rr) {
  const std::string& data = rs.cdirnames.data;
  FileNames& f = rs.files;
  f.purewater = rr.file(22, rr.name(22), data);
  auto ac9 = rr.numbers(23, 1);
  rs.comp.abac9n = rr.integer(ac9, 23, 0);
  int record = 24;
  for (std::string* slot : {&f.skydata, &f.ac9, &f.bbmeter, &f.ac9_cdom, &f.spare}) {  // records 24 to 28
    *slot = rr.file(record, rr.name(record), data);
    ++record;
  }
  f.bottom = rr.file(29, rr.name(29), rs.cdirnames.botmrefl);
  // Records 30 to 32 may be cut short by the end of the file.
  int counter = 7;
  auto truncated = [&]() {
    const std::string line = "WARNING:  only " + std::to_string(counter) + " component datafiles were read.";
    rs.con() << line << "\n";
    rs.pr() << "\n" << line << "\n";
  };
  for (int k = 1; k <= rs.cmisc.ncomp + 1; ++k) {  // record 30 (ncomp names), then record 31
    const int record = k <= rs.cmisc.ncomp ? 30 : 31;
    auto s = rr.name_or_eof(record);
    if (!s) return truncated();
    std::string& slot = k <= rs.cmisc.ncomp ? f.profile[static_cast<std::size_t>(k)] : f.extra;
    slot = rr.file(record, *s, data);
    ++counter;
  }
  auto bio = rr.name_or_eof(32);  // record 32
  if (!bio) return truncated();
  rs.src.bio_file = rr.file(32, *bio, data);
}

void report_input_ranges(RunState& rs, RecordReader& rr) {
  for (const InputFinding& f : check_input_ranges(rs)) {
    if (f.fatal) rr.fail(f.record, f.message, false);
    const std::string line = fmt::format(" WARNING: run-input record {}: {}", f.record, f.message);
    rs.con() << line << "\n";
    rs.pr() << "\n" << line << "\n";
  }
}

// The run option `partition` selects the surface-operator and phase-function
// sets of that partition: the directories move to the sets named for it, and
// the phase-function files named in record 13 are taken from the new set.
void use_partition_sets(RunState& rs) {
  const std::string suffix = partition_suffix(rs.opts.partition);
  if (suffix.empty()) return;
  DirNames& d = rs.cdirnames;
  const std::string old_pf = d.phasefun;
  auto moved = [&](const std::string& dir) { return dir.substr(0, dir.size() - 1) + suffix + "/"; };
  d.surfaces = moved(d.surfaces);
  d.phasefun = moved(d.phasefun);
  for (const std::string& dir : {d.surfaces, d.phasefun}) {
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
      herr("initial", fmt::format("run option partition = {}: there is no data set {} (surfgen --partition {} --out "
                                  "DIR and dpfgen --nmu NMU --nphi NPHI DIR make one)",
                                  rs.opts.partition, dir, rs.opts.partition));
  }
  for (int k = 1; k <= rs.cmisc.ncomp; ++k) {
    std::string& f = rs.files.dpf[static_cast<std::size_t>(k)];
    if (f.rfind(old_pf, 0) != 0) continue;
    f = d.phasefun + f.substr(old_pf.size());
    if (f.size() > util::kNameLen)
      herr("initial", fmt::format("the phase-function file {} of the {} partition is {} characters long; at most {} "
                                  "are allowed", f, rs.opts.partition, f.size(), util::kNameLen));
  }
}

void store_counts(RunState& rs) {
  Misc& m = rs.cmisc;
  m.nsource = rs.src.flags[1] + rs.src.flags[2] + rs.src.flags[3] + rs.src.flags[4];
  m.jwave = 1;
  m.wavenm = rs.cwave.wave(1);
  m.nradcount = 17;
  m.izero = 0;
}

// CDOM fluorescence is excited by the absorption of the IOP model's CDOM
// column: the one named in record 5, or the yellow matter of the Case 1 model.
void cdom_line(RunState& rs) {
  std::ostream& p = rs.pr();
  SourceState& s = rs.src;
  const int icdom = rs.cmodelopts.icdom() > 0 ? rs.cmodelopts.icdom() : (rs.cmodelopts.model() == 1 ? 3 : 0);
  s.icdom = icdom;
  if (!s.cdomfl()) {
    p << "\n" << ff::X(5) << "CDOM fluorescence is not included in this run\n";
  } else if (icdom > 0) {
    p << "\n" << ff::X(5) << "CDOM fluorescence is included in this run\n";
  } else {
    s.flags[3] = 0;
    rs.cmisc.nsource -= 1;
    p << "\n" << ff::X(5) << "WARNING: CDOM fluorescence could not be included because CDOM is not specified!\n";
    rs.con() << "WARNING: CDOM fluorescence could not be included because CDOM is not specified!\n";
  }
}

void inelastic_section(RunState& rs) {
  std::ostream& p = rs.pr();
  SourceState& s = rs.src;
  const std::string i5 = ff::X(5), i8 = ff::X(8);
  if (s.bio()) {
    p << "\n" << i5 << "A bioluminescent source is included in this run\n";
    s0biosub(rs);
  }
  if (s.chlfl()) {
    if (s.ichl != 0 && s.ichl <= rs.cmisc.nconc) {
      p << "\n" << i5 << "Chlorophyll fluorescence is included in this run\n"
        << i8 << "Chl fluorescent quantum efficiency set to " << ff::F(rs.cmisc.chl_qe, 6, 3) << "\n";
    } else {
      s.flags[2] = 0;
      rs.cmisc.nsource -= 1;
      p << "\n" << i5 << "WARNING: Chlorophyll fluorescence could not be included because CHL is not specified!\n"
        << i8 << "To include chl-fluorescence, rerun frontend.\n";
    }
  } else {
    p << "\n" << i5 << "Chlorophyll fluorescence is not included in this run\n";
  }
  cdom_line(rs);
  if (s.raman()) {
    p << "\n" << i5 << "Raman scattering is included in this run\n"
      << i8 << "Raman scattering cross-section set to " << ff::PE(rs.cmisc.raman_xsec, 8, 2) << " m-1\n"
      << i8 << "at reference wavelength " << ff::F(rs.cmisc.raman_wave0, 6, 1) << " nm\n";
  } else {
    p << "\n" << i5 << "Raman scattering is not included in this run\n";
  }
}

void surface_section(RunState& rs) {
  std::ostream& p = rs.pr();
  p << "\n" << ff::X(5) << "The air-water surface is for a wind speed of" << ff::F(rs.cmisc.windspd, 5, 1) << " m/s\n";
  if (rs.cmisc.refr > 0.0) {
    p << "\n" << ff::X(5) << "Index of refraction is constant for all wavelengths with the value: "
      << ff::F(rs.cmisc.refr, 5, 3) << "\n";
  } else {
    p << "\n" << ff::X(5) << "Index of refraction will be calculated as a function of wavelength, \n"
      << ff::X(8) << " for the given seawater temp " << ff::F(rs.cmisc.temp, 4, 1) << " degC and salinity "
      << ff::F(rs.cmisc.salinity, 4, 1) << " PSU\n";
  }
}

void bottom_section(RunState& rs) {
  pntbc(rs);
  if (rs.cmisc.idynz == 1 && rs.cmisc.ibotm == 0 && rs.cmisc.nsource > 0) {
    getdynz(rs, 0);
    if (rs.cmisc.idynz == 1) {
      rs.pr() << "\n" << ff::X(5) << "The actual depth at which the infinitely deep bottom boundary condition will be applied \n"
              << ff::X(5) << "will be determined dynamically from the IOPs to insure a good solution at the \n"
              << ff::X(5) << "requested output depths\n";
    }
  }
}

}  // namespace

void begin_section(RunState& rs, const std::string& name) {
  rs.pr() << "\n\n  ***** BEGIN " << name << " SPECIFICATIONS *****\n";
}

void end_section(RunState& rs, const std::string& name) {
  rs.pr() << "\n  ***** END " << name << " SPECIFICATIONS *****\n";
}

void initial(RunState& rs) {
  setdflts(rs);
  RecordReader rr(rs);
  // Records 1 to 3.
  auto r1 = rr.numbers(1, 7);
  rs.cmodelopts.opts[1] = rr.integer(r1, 1, 0);
  rs.cmisc.r1 = rr.real(r1, 1, 1, rs.cmisc.r1);
  rs.cmisc.r2 = rr.real(r1, 1, 2);
  rs.cmisc.chl_qe = rr.real(r1, 1, 3);
  rs.cmisc.raman_wave0 = rr.real(r1, 1, 4);
  rs.cmisc.raman_xsec = rr.real(r1, 1, 5);
  rs.cmisc.idynz = rr.integer(r1, 1, 6);
  std::string title = rr.name(2, std::string::npos);  // only a label: cut with the date below
  std::string root = rr.name(3, kRootLen);
  if (util::rtrim(root).empty()) rr.fail(3, "the output root name is blank");
  // The root is the base of file names in the output directories: a
  // separator would write (and remove stale files) anywhere else.
  if (root.find_first_of("/\\") != std::string::npos || root.find("..") != std::string::npos ||
      std::any_of(root.begin(), root.end(), [](char c) { return static_cast<unsigned char>(c) < 32; }))
    rr.fail(3, "the output root name may not contain a directory separator, \"..\" or control characters");
  build_names(rs, root, title);
  open_printout(rs);
  cpright(rs.pr());
  rs.pr() << "\n\n  RUN TITLE:  " << rs.ctitle << "\n";
  date_stamp(rs, rs.pr(), 0);

  // Records 4 to 21.
  auto r4 = rr.integers(4, 6);
  rs.cmisc.iprint = r4[0];
  rs.cmisc.i2 = r4[1];
  rs.cmisc.i3 = r4[2];
  rs.cmisc.i4 = r4[3];
  rs.cmisc.i5 = r4[4];
  rs.cmisc.nwskip = r4[5] < 1 ? 1 : r4[5];
  auto r5 = rr.integers(5, 5);
  for (int i = 0; i < 5; ++i) rs.cmodelopts.opts[static_cast<std::size_t>(i + 2)] = r5[static_cast<std::size_t>(i)];
  auto r6 = rr.integers(6, 2);
  rs.cmisc.ncomp = r6[0];
  rs.cmisc.nconc = r6[1];
  if (rs.cmisc.ncomp > mxcomp || rs.cmisc.nconc > mxcomp)
    limit_error(rs, " ncomp =" + ff::I(std::max(rs.cmisc.ncomp, rs.cmisc.nconc), 3) + " gt mxcomp =" + ff::I(mxcomp, 3),
                "initial", "increase model component LIMIT in UI");
  if (rs.cmisc.ncomp < 1 || rs.cmisc.nconc < 0) rr.fail(6, "ncomp must be at least 1 and nconc not negative");
  read_components(rs, rr);
  read_wavelengths(rs, rr);
  auto r16 = rr.integers(16, 5);
  for (int i = 0; i < 4; ++i) rs.src.flags[static_cast<std::size_t>(i + 1)] = r16[static_cast<std::size_t>(i)] != 0 ? 1 : 0;
  rs.src.ichl = r16[4];
  rs.cmisc.nsource = rs.src.flags[1] + rs.src.flags[2] + rs.src.flags[3] + rs.src.flags[4];
  read_sky(rs, rr);
  read_atmosphere_surface_bottom(rs, rr);
  read_depths(rs, rr);
  // Records 22 to 32.
  read_data_files(rs, rr);
  rs.opts = read_run_options(*rs.input);
  use_partition_sets(rs);
  if (rs.opts.relerr > 0.0) rs.cmisc.relerr = rs.opts.relerr;
  check_pf_options(rs);
  store_counts(rs);
  report_input_ranges(rs, rr);

  // Initialization chain.
  loadsurface(rs, rs.cmisc.windspd, rs.cwave.wave(1));
  initprintout(rs);
  for (int k = 1; k <= rs.cmisc.nz; ++k) rs.cgrid.zgeo2(k) = rs.cgrid.z(k);
  pntgrid(rs);
  begin_section(rs, "IOP MODEL");
  abscat(rs, 0.0, rs.cwave.wave(1), rs.cmisc.ncomp);
  end_section(rs, "IOP MODEL");
  begin_section(rs, "INELASTIC SCATTER AND INTERNAL SOURCE");
  inelastic_section(rs);
  end_section(rs, "INELASTIC SCATTER AND INTERNAL SOURCE");
  begin_section(rs, "ATMOSPHERIC MODEL");
  qasky(rs);
  end_section(rs, "ATMOSPHERIC MODEL");
  begin_section(rs, "AIR-WATER SURFACE");
  surface_section(rs);
  end_section(rs, "AIR-WATER SURFACE");
  begin_section(rs, "BOTTOM BOUNDARY");
  bottom_section(rs);
  end_section(rs, "BOTTOM BOUNDARY");
  rangewarn(rs, rs.pr());
  flush_output(rs.printout, rs.out.printout_name, "initial");
}

}  // namespace abyss
