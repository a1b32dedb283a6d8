import re
from pathlib import Path

import pytest

import abyssolver as ab
from abyssolver.runinput import RunInputError

EXAMPLES = sorted((ab.repository_root() / "examples").glob("*.txt"))


def numbers_or_text(line):
    out = []
    for tok in line.split():
        try:
            out.append(float(tok))
        except ValueError:
            out.append(tok)
    return out


@pytest.mark.parametrize("path", EXAMPLES, ids=lambda p: p.stem)
def test_every_example_round_trips(path):
    text = path.read_text()
    ri = ab.RunInput.from_text(text)
    written = ri.to_text()
    assert ab.RunInput.from_text(written) == ri
    # Record by record the same values (numbers compared as numbers, names as text).
    original = [numbers_or_text(s) for s in text.splitlines()]
    again = [numbers_or_text(s) for s in written.splitlines()]
    assert original == again


def test_example_by_name_and_defaults():
    assert ab.RunInput.example("case1_default") == ab.RunInput()
    with pytest.raises(FileNotFoundError, match="case1_default"):
        ab.RunInput.example("no_such_example")


def test_keywords_replace_records():
    ri = ab.RunInput(concentrations=[0.0, 2.0, 0.0], depths=[0, 2, 4], title="Chl 2")
    lines = ri.records()
    assert lines[1] == "Chl 2"
    assert lines[6] == "0.0 2.0 0.0"
    assert any(re.fullmatch(r"0 3 0\.0 2\.0 4\.0", s) for s in lines)
    assert ri.replace(wind_speed=10).wind_speed == 10.0


def test_single_wavelength_run():
    ri = ab.RunInput.example("constant_single")
    assert ri.single_wavelength == [550.0, 0.1, 0.3] and ri.band_edges is None and ri.nwave == 0
    assert ri.records()[ri.records().index("0") + 1] == "550.0 0.1 0.3"


@pytest.mark.parametrize("changes, record, field", [
    (dict(depths=[0.0, 5.0, 5.0]), 21, "depths"),
    (dict(depths=[]), 21, "depths"),
    (dict(band_edges=[400, 450, 440]), 15, "band_edges"),
    (dict(band_edges=list(range(300, 460))), 15, "band_edges"),
    (dict(sky_model=4), 17, "sky_model"),
    (dict(wind_speed="fast"), 19, "wind_speed"),
    (dict(wind_speed=-1.0), 19, "wind_speed"),
    (dict(concentrations=[0.0, -0.5, 0.0]), 7, "concentrations"),
    (dict(concentrations=[0.5]), 8, "concentration_entries"),
    (dict(phase_function_files=["pure_water.dpf"]), 13, "phase_function_files"),
    (dict(root=""), 3, "root"),
    (dict(root="x" * 33), 3, "root"),
    (dict(title="two\nlines"), 2, "title"),
    (dict(band_skip=1.5), 4, "band_skip"),
    (dict(sources=[0, 0, 0, 2, 0]), 16, "sources"),
    (dict(atmosphere=[1.0] * 9), 18, "atmosphere"),
    (dict(options={"colour": "yes"}), 33, "options"),
    (dict(options={"partition": "20x23"}), 33, "options"),
    (dict(options={"partition": "20"}), 33, "options"),
    (dict(depth_type=1, sources=[0, 0, 0, 1, 0]), 21, "depth_type"),
])
def test_bad_fields_are_refused_naming_record_and_field(changes, record, field):
    with pytest.raises(RunInputError) as e:
        ab.RunInput(**changes)
    assert e.value.record == record and e.value.field == field
    assert f"record {record}" in str(e.value) and repr(field) in str(e.value)


def test_bad_numbers_in_a_file_name_the_record():
    text = ab.RunInput().to_text().splitlines()
    text[text.index("5.0 1.34 20.0 35.0")] = "5.0 1.34 twenty 35.0"  # record 19
    with pytest.raises(RunInputError, match="record 19"):
        ab.RunInput.from_text("\n".join(text))


def test_partition_option_is_accepted():
    ri = ab.RunInput(options={"partition": "20x24"})
    assert ri.to_text().endswith("partition = 20x24\n")


def test_options_follow_record_32():
    ri = ab.RunInput(options={"netcdf": "yes", "threads": "2"})
    assert ri.to_text().endswith("unused.txt\nnetcdf = yes\nthreads = 2\n")
    assert ab.RunInput.from_text(ri.to_text()).options == {"netcdf": "yes", "threads": "2"}
