// The NetCDF-4/CF file of one run: the radiance distribution and everything
// derived from it, on dimensions depth (air first), wavelength band, polar
// angle and azimuth of the quads, written band by band and synchronised after
// every band so that an interrupted run leaves a readable file holding the
// bands it finished.
#pragma once

#include <map>
#include <string>
#include <utility>

namespace abyss {
struct RunState;

// One open run file. It holds only NetCDF ids; everything it writes comes
// from the run state passed to each call, so a batch driver can write as many
// run files as it likes, each with its own object and path.
class NetcdfRunFile {
 public:
  NetcdfRunFile() = default;
  ~NetcdfRunFile();
  NetcdfRunFile(const NetcdfRunFile&) = delete;
  NetcdfRunFile& operator=(const NetcdfRunFile&) = delete;
  // Moving hands the open file over; the moved-from object holds none.
  NetcdfRunFile(NetcdfRunFile&& o) noexcept { *this = std::move(o); }
  NetcdfRunFile& operator=(NetcdfRunFile&& o) noexcept {
    if (this != &o) {
      close();
      ncid_ = std::exchange(o.ncid_, -1);
      path_ = std::move(o.path_);
      bands_ = std::exchange(o.bands_, 0);
      vars_ = std::move(o.vars_);
    }
    return *this;
  }

  bool is_open() const { return ncid_ >= 0; }
  const std::string& path() const { return path_; }
  // Number of bands written so far.
  std::size_t bands() const { return bands_; }

  // Creates (or replaces) the file: dimensions, coordinates, the run input as
  // attributes and every variable. Needs the quad partition, the output depths
  // and the K-function pairs of the run (available after the first band's solve).
  void create(const std::string& path, const RunState& rs);
  // Appends the current band (rs.cmisc.jwave) and synchronises the file.
  void write_band(const RunState& rs);
  // Writes the whole-spectrum quantities (PAR, K_PAR, Secchi depth, colour),
  // marks the run complete and synchronises the file.
  void write_summary(const RunState& rs);
  // Closes the file. Every band and the summary were synchronised when written,
  // so closing loses nothing; it never throws (it also runs on the error exit).
  void close() noexcept;

  int ncid() const { return ncid_; }
  // Id of variable `name` of the file (fatal error if it was not defined).
  int var(const std::string& name) const;

 private:
  friend struct NetcdfDefiner;
  int ncid_ = -1;
  std::string path_;
  std::size_t bands_ = 0;
  std::map<std::string, int> vars_;
};

// Per-band entry of the run's output sequence: opens the run's NetCDF file
// on its first call and appends the band.
void wrtnetcdf(RunState& rs);
// After the band loop: the whole-spectrum quantities.
void wrtnetcdf_summary(RunState& rs);

// Checks a NetCDF status: anything but success ends the run through herr,
// naming the file and the operation.
void nc_check(int status, const std::string& path, const std::string& what);

}  // namespace abyss
