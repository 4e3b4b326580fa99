// The compiled engine of the Python package: the settings catalogue and the
// run entry (model/catalogue.h, model/runentry.h), nothing else. Values are
// converted by the catalogue's own TOVALUE, so a setting is refused with the
// same message as in a study file; refusals come back as a list of texts,
// never as an exception (a C++ exception's text stops at a NUL). The engine
// keeps program-wide state: one run at a time in a process (the package runs
// many in separate processes), and a second thread asking for a run (or a
// preview) meanwhile is refused, not queued.
//
// A run lets go of the interpreter while it runs, so that other threads
// (progress bars, a notebook's heartbeat) go on. Every CHECKEVERY of wall
// time the generation observer takes the interpreter back for a moment:
// pending signals (Ctrl-C) and the progress callback. A Python exception
// there ends the run by unwinding through the engine (the run entry puts
// its program-wide state back), and is raised again once the run is left.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "model/catalogue.h"
#include "model/runentry.h"

namespace py = pybind11;

namespace {

// The package hands over only the four kinds a study file holds (its
// argument checks make them); anything else is refused here too, with the
// study file's words, so that no value reaches TOVALUE unconverted.
bool TORAW(const py::handle& value, const std::string& key, RawValue& raw, std::string& fault) {
  raw.where = "settings['" + key + "']";
  // bool before int: Python's True is also an int.
  if (py::isinstance<py::bool_>(value)) {
    raw.kind = RawValue::Boolean;
    raw.boolean = value.cast<bool>();
  } else if (py::isinstance<py::int_>(value)) {
    raw.kind = RawValue::Integer;
    try {
      raw.integer = value.cast<std::int64_t>();
    } catch (const py::cast_error&) {
      const SettingRow* row = FINDSETTING(key);
      fault = raw.where + ": " + key + " = " + py::str(value).cast<std::string>() +
              " is out of range; allowed: " + (row != nullptr ? row->range : "");
      return false;
    }
  } else if (py::isinstance<py::float_>(value)) {
    raw.kind = RawValue::Real;
    raw.real = value.cast<double>();
  } else if (py::isinstance<py::str>(value)) {
    raw.kind = RawValue::Text;
    raw.text = value.cast<std::string>();
  } else {
    const SettingRow* row = FINDSETTING(key);
    fault = raw.where + ": " + key + " = " + py::repr(value).cast<std::string>() + " is a " +
            py::str(value.get_type().attr("__name__")).cast<std::string>() +
            "; allowed: " + (row != nullptr ? row->range : "");
    return false;
  }
  return true;
}

// The settings as the engine takes them; false with every refusal (each
// its own line, never cut at a NUL: the messages go back as Python texts).
bool TOSETTINGS(const std::vector<std::pair<std::string, py::object>>& settings, SettingMap& out,
                std::vector<std::string>& faults) {
  for (const auto& item : settings) {
    const SettingRow* row = FINDSETTING(item.first);
    if (row == nullptr) {
      faults.push_back("settings['" + item.first + "']: no such setting");
      continue;
    }
    RawValue raw;
    std::string fault;
    SettingValue value;
    if (!TORAW(item.second, item.first, raw, fault) || !TOVALUE(*row, raw, value, fault)) {
      faults.push_back(fault);
      continue;
    }
    out[item.first] = value;
  }
  return faults.empty();
}

py::dict REFUSED(int status, const std::vector<std::string>& faults) {
  py::dict out;
  out["status"] = status;
  out["faults"] = faults;
  return out;
}

using Clock = std::chrono::steady_clock;
constexpr auto CHECKEVERY = std::chrono::milliseconds(50);

// The thread whose run is under way; no thread while none is.
std::atomic<bool> engineBusy{false};
std::thread::id engineOwner;

// Thrown by the observer once a Python exception is pending (a signal's
// handler raised, or the progress callback did): it carries nothing, the
// exception stays set in the thread until the run has unwound.
struct PythonPending {};

struct Watch {
  Clock::time_point next;
  py::object progress;  // None, or progress(iterations done, iterations, generation)
};

void REPORTPOSITION(Watch& watch) {
  const RunPosition p = RUNPOSITION();
  const std::int64_t done = std::min(p.going ? p.iter - 1 : p.iter, p.iterations);
  watch.progress(done, p.iterations, p.gen);
}

void WATCHGENERATION(void* context) {
  Watch& watch = *static_cast<Watch*>(context);
  const Clock::time_point now = Clock::now();
  if (now < watch.next) return;
  watch.next = now + CHECKEVERY;
  py::gil_scoped_acquire held;
  if (PyErr_CheckSignals() != 0) throw PythonPending{};
  if (watch.progress.is_none()) return;
  try {
    REPORTPOSITION(watch);
  } catch (py::error_already_set& e) {
    e.restore();
    throw PythonPending{};
  }
}

void REFUSEBUSY() {
  const bool same = engineOwner == std::this_thread::get_id();
  PyErr_SetString(PyExc_RuntimeError,
                  same ? "duolocus: a run is already under way in this thread (a progress callback "
                         "cannot start another run)"
                       : "duolocus: another thread is running the engine; it keeps program-wide "
                         "state, so a process carries out one run at a time. Wait for that run, or "
                         "use run_many() for runs in parallel processes");
  throw py::error_already_set();
}

// settings: (key, value) pairs with keys as the catalogue spells them.
py::dict RUN(const std::vector<std::pair<std::string, py::object>>& settings, std::int64_t seed,
             std::int64_t trajectory, const std::string& name, const py::object& progress) {
  if (engineBusy) REFUSEBUSY();
  RunRequest request;
  std::vector<std::string> faults;
  if (!TOSETTINGS(settings, request.settings, faults)) return REFUSED(2, faults);
  request.seed = static_cast<std::uint32_t>(seed);
  request.prefix = "";
  request.namedAs = name;
  request.keepBytes = true;
  request.trajectory = trajectory;
  Watch watch;
  watch.next = Clock::now() + CHECKEVERY;
  watch.progress = progress;
  request.onGeneration = WATCHGENERATION;
  request.context = &watch;
  RunResult result;
  bool pending = false;
  {
    // The interpreter is held here, so nobody else can claim in between.
    if (engineBusy.exchange(true)) REFUSEBUSY();
    engineOwner = std::this_thread::get_id();
    struct Unclaim {
      ~Unclaim() { engineBusy = false; }
    } unclaim;  // however the run ends
    py::gil_scoped_release released;
    try {
      RUNENTRY(request, result);
    } catch (const PythonPending&) {
      pending = true;
    }
  }
  if (pending) throw py::error_already_set();
  if (!progress.is_none() && result.status == 0) {
    progress(result.tallies.iterations, result.tallies.iterations, RUNPOSITION().gen);
  }
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

template <std::size_t N>
py::list NUMBERS(const double (&values)[N]) {
  py::list out;
  for (double v : values) out.append(v);
  return out;
}

// What a run of these settings starts from; nothing is run.
py::dict PREVIEW(const std::vector<std::pair<std::string, py::object>>& settings) {
  // The preview applies the settings to the program-wide state a run uses.
  if (engineBusy) REFUSEBUSY();
  SettingMap map;
  std::vector<std::string> faults;
  if (!TOSETTINGS(settings, map, faults)) return REFUSED(2, faults);
  RunPreview preview;
  if (!PREVIEWRUN(map, preview, faults)) return REFUSED(2, faults);
  py::dict out = REFUSED(0, faults);
  out["population"] = preview.population;
  py::list founders;
  for (std::int64_t n : preview.founders) founders.append(n);
  out["founders"] = founders;
  out["p_A"] = preview.pA;
  out["p_B"] = preview.pB;
  out["haplotypes"] = NUMBERS(preview.haplotypes);
  out["D"] = preview.D;
  out["phased"] = py::make_tuple(preview.phased[0], preview.phased[1]);
  out["fitness"] = NUMBERS(preview.fitness);
  out["immigrants"] = preview.immigrants;
  out["mix"] = NUMBERS(preview.mix);
  return out;
}

}  // namespace

PYBIND11_MODULE(_engine, module) {
  module.doc() = "The Duolocus engine: the settings catalogue and the run entry.";
  module.def("catalogue_json", &CATALOGUEJSON, "The settings catalogue as JSON.");
  module.def("trajectory_header", []() { return std::string(TRAJHEADER); });
  module.def("run", &RUN, py::arg("settings"), py::arg("seed"), py::arg("trajectory") = 0,
             py::arg("name") = std::string("duolocus"), py::arg("progress") = py::none(),
             "One run: settings as (key, value) pairs; returns status, faults, the files' bytes and "
             "the tallies. progress(iterations done, iterations, generation) is called about every "
             "50 ms and once at the end; an exception it raises, or a signal's handler raises "
             "(Ctrl-C), ends the run and is raised here.");
  module.def("preview", &PREVIEW, py::arg("settings"),
             "What a run of these settings starts from: status, faults, the founders, their allele "
             "and haplotype frequencies, the fitnesses and the immigrants.");
  module.def("busy", []() { return engineBusy.load(); },
             "Whether a run is under way in this process.");
  // A process forked while another thread runs the engine (run_many's
  // workers) has no such thread: its engine is free, and every run starts
  // from a fresh program anyway.
  module.def("free_after_fork", []() { engineBusy = false; },
             "Marks the engine free in a child just forked.");
}
