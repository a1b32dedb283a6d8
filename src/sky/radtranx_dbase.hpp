// Reading and looking up the clear-sky model's 1-nm spectral data base.
#pragma once

#include <string>

#include "sky/radtranx_model.hpp"
#include "sky/radtranx_state.hpp"

namespace abyss {

// Reads "RADTRANX_dbase.txt": "#" comment lines (the sources), a record with
// the number of data lines, then one line per whole nanometre: wavelength,
// H0, a_oz, a_o2, a_wv and a source flag. A missing file stops the run
// through nofile, a bad or out-of-step line through herr naming the line.
RadtranxTable read_radtranx_dbase(const std::string& filename);

// Spectral values at wavelength wl_nm (linear between whole nanometres);
// the caller keeps wl_nm inside the table.
rtx::Spectral radtranx_spectral(const RadtranxTable& t, double wl_nm);

}  // namespace abyss
