// The compiled engine of the Python package: the settings catalogue and the
// run entry (model/catalogue.h, model/runentry.h), nothing else. Values are
// converted by the catalogue's own TOVALUE, so a setting is refused with the
// same message as in a study file. The engine keeps program-wide state: one
// run at a time in a process (the package runs many in separate processes).
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

#include "model/catalogue.h"
#include "model/runentry.h"

namespace py = pybind11;

namespace {

RawValue TORAW(const py::handle& value, const std::string& where) {
  RawValue raw;
  raw.where = where;
  // bool before int: Python's True is also an int.
  if (py::isinstance<py::bool_>(value)) {
    raw.kind = RawValue::Boolean;
    raw.boolean = value.cast<bool>();
  } else if (py::isinstance<py::int_>(value)) {
    raw.kind = RawValue::Integer;
    try {
      raw.integer = value.cast<std::int64_t>();
    } catch (const py::cast_error&) {
      throw py::value_error(where + ": " + py::str(value).cast<std::string>() +
                            " is out of range for a whole number");
    }
  } else if (py::isinstance<py::float_>(value)) {
    raw.kind = RawValue::Real;
    raw.real = value.cast<double>();
  } else if (py::isinstance<py::str>(value)) {
    raw.kind = RawValue::Text;
    raw.text = value.cast<std::string>();
  } else {
    throw py::type_error(where + ": a " + py::str(value.get_type().attr("__name__")).cast<std::string>() +
                         "; allowed: a whole number, a number, true/false or a text");
  }
  return raw;
}

// settings: (key, value) pairs with keys as the catalogue spells them.
py::dict RUN(const std::vector<std::pair<std::string, py::object>>& settings, std::int64_t seed,
             std::int64_t trajectory) {
  RunRequest request;
  std::vector<std::string> faults;
  for (const auto& item : settings) {
    const SettingRow* row = FINDSETTING(item.first);
    if (row == nullptr) {
      throw py::value_error("settings['" + item.first + "']: no such setting");
    }
    SettingValue value;
    std::string fault;
    if (!TOVALUE(*row, TORAW(item.second, "settings['" + item.first + "']"), value, fault)) {
      faults.push_back(fault);
      continue;
    }
    request.settings[item.first] = value;
  }
  if (!faults.empty()) {
    std::string joined;
    for (const auto& f : faults) joined += (joined.empty() ? "" : "\n") + f;
    throw py::value_error(joined);
  }
  request.seed = static_cast<std::uint32_t>(seed);
  request.prefix = "";
  request.keepBytes = true;
  request.trajectory = trajectory;
  RunResult result;
  RUNENTRY(request, result);
  py::dict out;
  out["status"] = result.status;
  out["faults"] = result.faults;
  out["csv"] = py::bytes(result.csv);
  out["txt"] = py::bytes(result.txt);
  out["trajectory"] = py::bytes(result.trajectory);
  py::dict tallies;
  tallies["iterations"] = result.tallies.iterations;
  tallies["extinct"] = result.tallies.extinct;
  tallies["A"] = result.tallies.alphaFixed[0];
  tallies["a"] = result.tallies.alphaFixed[1];
  tallies["Alpha none"] = result.tallies.alphaFixed[2];
  tallies["B"] = result.tallies.betaFixed[0];
  tallies["b"] = result.tallies.betaFixed[1];
  tallies["Beta none"] = result.tallies.betaFixed[2];
  out["tallies"] = tallies;
  return out;
}

}  // namespace

PYBIND11_MODULE(_engine, module) {
  module.doc() = "The Duolocus engine: the settings catalogue and the run entry.";
  module.def("catalogue_json", &CATALOGUEJSON, "The settings catalogue as JSON.");
  module.def("trajectory_header", []() { return std::string(TRAJHEADER); });
  module.def("run", &RUN, py::arg("settings"), py::arg("seed"), py::arg("trajectory") = 0,
             "One run: settings as (key, value) pairs; returns status, faults, the files' bytes and "
             "the tallies.");
}
