"""The report renders every section, including engine measurements that failed."""

import report

MACHINE = {"cpu": "Test CPU", "cores": 2, "python": "3.11.7", "numpy": "2.2.5", "platform": "Linux",
           "pinned_core": 1, "load_average_start": [1.0, 1.0, 1.0], "load_average_end": [2.0, 2.0, 2.0]}


def test_failed_engine_measurements_are_reported_not_raised():
    engine = {
        "steady": {"rows": [{"junctions": 1024, "pipes": 1985, "error": "steady worker failed (1): boom"}],
                   "growth_exponent": None, "meets_target": False},
        "transient": {"full_store": {"error": "x"}, "sparse_store": {"error": "y"}, "meets_target": False},
        "road": {"error": "road worker failed"},
    }
    text = report.render({"machine": MACHINE, "engine": engine})
    assert "steady worker failed (1): boom" in text
    assert "No growth exponent" in text
    assert "Transient run failed" in text
    assert "Road failed: road worker failed" in text


def test_call_frame_row_shows_ratios_and_a_missed_target():
    row = {"function": "get_node", "call": "positional", "kind": "scalar/text", "module": 2000.0,
           "module_noop": 400.0, "floor": 40.0, "minimal_noop": 300.0, "minimal_session": 1900.0,
           "ctypes": 9000.0, "frame_ratio_to_minimal": 400 / 300, "ratio_to_minimal_session": 2000 / 1900,
           "speedup_over_ctypes": 4.5, "meets_targets": False}
    line = [l for l in report.render({"machine": MACHINE, "call_frame": [row]}).splitlines()
            if l.startswith("| get_node")][0]
    cells = [c.strip() for c in line.strip("|").split("|")]
    assert cells[8:] == ["1.33", "1.05", "4.5", "**no**"]


def test_large_times_are_written_in_larger_units():
    assert report._ns(950) == "950"
    assert report._ns(25_000) == "25.0 µs"
    assert report._ns(3_500_000) == "3.50 ms"


def test_transient_option_rows_show_the_ratio_or_the_failure():
    timed = {"option": "orifice demands", "line": "DEMANDS ORIFICE", "target": 1.5, "ratio": 1.6,
             "on": {"seconds": 0.8}, "off": {"seconds": 0.5}, "meets_target": False}
    failed = {"option": "orifice demands", "line": "DEMANDS ORIFICE", "target": 1.5,
              "on": {"error": "transient worker failed (1): boom"}, "off": {"seconds": 0.5}, "meets_target": False}
    assert report._option(timed).endswith("1.60x the time loop (target at most 1.5x: **no**)")
    assert "failed: transient worker failed (1): boom" in report._option(failed)
