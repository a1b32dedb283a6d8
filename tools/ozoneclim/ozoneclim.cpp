// Writes the monthly total-ozone climatology read by the clear-sky model:
// 10 x 10 degree cells (18 latitude bands from 90S northward, 36 longitude
// cells from 180W eastward in each band), twelve monthly values per cell from
// the Van Heuklon (1979) model at the cell centre and the middle of the month.
//
// Usage: ozoneclim [output file]   (default data/TOMS_O3.txt)
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "sky/ozone_model.hpp"
#include "util/fortran_format.hpp"

namespace {

constexpr int kMonthLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Day of year of the middle of each month of a common year (16 January,
// 45.5 February, ...).
double mid_month_day(int month) {
  int first = 1;
  for (int m = 0; m < month; ++m) first += kMonthLength[m];
  return first + (kMonthLength[month] - 1) / 2.0;
}

void write_header(std::ostream& os) {
  os << "Monthly mean total ozone (Dobson units) from the Van Heuklon (1979) model (Solar Energy 22, 63-68),\n"
     << "evaluated at the centre of each 10 x 10 degree cell and the middle of each month (common year).\n"
     << "18 latitude bands from 90S northward, 36 longitude cells per band from 180W eastward (east positive).\n"
     << "latmin  latmax  lonmin  lonmax    Jan    Feb    Mar    Apr    May    Jun    Jul    Aug    Sep    Oct    Nov    Dec\n";
}

void write_cells(std::ostream& os) {
  namespace ff = abyss::ff;
  for (int lat = -90; lat < 90; lat += 10) {
    for (int lon = -180; lon < 180; lon += 10) {
      os << ff::F(lat, 6, 1) << ff::F(lat + 10, 8, 1) << ff::F(lon, 8, 1) << ff::F(lon + 10, 8, 1);
      for (int m = 0; m < 12; ++m) os << ff::F(abyss::vanheuklon_ozone(lat + 5.0, lon + 5.0, mid_month_day(m)), 7, 1);
      os << "\n";
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "data/TOMS_O3.txt";
  std::ofstream os(path);
  if (!os) {
    std::cerr << "ozoneclim: cannot write " << path << "\n";
    return 1;
  }
  write_header(os);
  write_cells(os);
  return os ? 0 : 1;
}
