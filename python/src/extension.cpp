// quarlin._quarlin: the host engine and the simulator's block driver as a
// Python extension.  The pure-Python layer (quarlin/__init__.py) builds the
// public API on it; everything that runs per step stays here.
//
// Every failure leaves as a Python exception of quarlin._errors: a host
// error that ended a call as HostError (identifier, text, arguments), a
// block that reported an error as BlockError, a module that does not load as
// ModuleError, a snapshot the block refuses as SnapshotError.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "failure.h"
#include "host_block.h"
#include "module_info.h"
#include "scenario.h"
#include "snapshot_file.h"
#include "subhost/engine.h"

namespace py = pybind11;
using quarlin_sim::BlockFailure;
using quarlin_sim::Failure;
using quarlin_sim::Node;

namespace {

// A Ctrl-C reaches Python's handler at once, but Python acts on it only
// when asked; a run asks every this many steps.
constexpr uint64_t kSignalCheckEvery = 1024;

// Raises the exception `name` of quarlin._errors with `args`.
[[noreturn]] void raise(const char* name, const py::tuple& args) {
    const py::object type = py::module_::import("quarlin._errors").attr(name);
    const py::object error = type(*args);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raiseFailure(const BlockFailure& failure) {
    if (const auto& host = failure.hostError()) {
        py::list args;
        for (const subhost::HostArg& arg : host->args) {
            if (arg.isText) {
                args.append(py::str(arg.text));
            } else {
                args.append(py::float_(arg.number));
            }
        }
        raise("HostError", py::make_tuple(host->id, failure.what(), py::tuple(args)));
    }
    raise("BlockError", py::make_tuple(failure.what()));
}

// Runs `body`, which drives the block; what it fails with leaves as the
// Python exception that says so.
template <typename Body>
void guarded(Body body) {
    try {
        body();
    } catch (const BlockFailure& failure) {
        raiseFailure(failure);
    } catch (const Failure& failure) {
        raise("BlockError", py::make_tuple(failure.what()));
    }
}

// --- snapshot trees: nested dicts of numpy arrays ---------------------------

template <typename T>
py::array_t<T> columnMajor(size_t rows, size_t columns, const T* values) {
    py::array_t<T, py::array::f_style> array({rows, columns});
    if (rows * columns != 0) std::memcpy(array.mutable_data(), values, rows * columns * sizeof(T));
    return array;
}

// The real numeric classes besides uint8 and double, by numpy's dtype.
struct NumpyClass {
    char kind;
    int itemsize;
    int classId;
    const char* dtype;
};
constexpr NumpyClass kNumpyClasses[] = {
    {'f', 4, quarlin_sim::numeric_class::singleClass, "float32"},
    {'i', 1, quarlin_sim::numeric_class::int8Class, "int8"},
    {'i', 2, quarlin_sim::numeric_class::int16Class, "int16"},
    {'u', 2, quarlin_sim::numeric_class::uint16Class, "uint16"},
    {'i', 4, quarlin_sim::numeric_class::int32Class, "int32"},
    {'u', 4, quarlin_sim::numeric_class::uint32Class, "uint32"},
    {'i', 8, quarlin_sim::numeric_class::int64Class, "int64"},
    {'u', 8, quarlin_sim::numeric_class::uint64Class, "uint64"},
};

py::object toPython(const Node& node) {
    switch (node.kind) {
        case Node::Kind::empty: return py::array_t<double>(std::vector<py::ssize_t>{0, 0});
        case Node::Kind::structure: {
            py::dict fields;
            for (size_t i = 0; i < node.names.size(); ++i) fields[py::str(node.names[i])] = toPython(node.fields[i]);
            return fields;
        }
        case Node::Kind::bytes: return columnMajor(node.rows, node.columns, node.bytes.data());
        case Node::Kind::reals: {
            py::array doubles = columnMajor(node.rows, node.columns, node.reals.data());
            for (const NumpyClass& c : kNumpyClasses) {
                if (c.classId == node.numericClass) return doubles.attr("astype")(c.dtype);
            }
            return doubles;
        }
        case Node::Kind::text: return py::str(node.text);
    }
    return py::none();
}

template <typename T>
std::vector<T> columnMajorValues(const py::array& array) {
    const auto values = py::array_t<T, py::array::f_style | py::array::forcecast>::ensure(array);
    return {values.data(), values.data() + values.size()};
}

Node fromPython(const py::handle& value, const std::string& path, int depth) {
    if (depth > quarlin_sim::kDeepestTree) quarlin_sim::fail(path + ": nested too deeply");
    if (value.is_none()) return Node{};
    if (py::isinstance<py::dict>(value)) {
        std::vector<std::string> names;
        std::vector<Node> fields;
        for (const auto& [key, field] : py::reinterpret_borrow<py::dict>(value)) {
            if (!py::isinstance<py::str>(key)) quarlin_sim::fail(path + ": a field name that is not a text");
            names.push_back(key.cast<std::string>());
            fields.push_back(fromPython(field, path + "." + names.back(), depth + 1));
        }
        return Node::structure(std::move(names), std::move(fields));
    }
    if (py::isinstance<py::str>(value)) return Node::textRow(value.cast<std::string>());
    const py::array array = py::array::ensure(value);
    if (!array || array.ndim() > 2) quarlin_sim::fail(path + ": neither a dict, a text nor a matrix");
    // A scalar is a 1x1 matrix and a vector one row, as the host holds them.
    const size_t rows = array.ndim() == 2 ? array.shape(0) : 1;
    const size_t columns = array.ndim() == 2 ? array.shape(1) : array.ndim() == 1 ? array.shape(0) : 1;
    // By kind and size: arrays read from files may be of either byte order.
    const py::dtype type = array.dtype();
    if (type.kind() == 'u' && type.itemsize() == 1) {
        return Node::byteMatrix(rows, columns, columnMajorValues<uint8_t>(array));
    }
    if (type.kind() == 'f' && type.itemsize() == 8) {
        if (array.size() == 0) return Node{};  // an empty field
        return Node::realMatrix(rows, columns, columnMajorValues<double>(array));
    }
    // Other real classes travel as what they are; the block judges them.
    for (const NumpyClass& c : kNumpyClasses) {
        if (type.kind() != c.kind || type.itemsize() != c.itemsize) continue;
        if (c.itemsize == 8) {  // 64-bit integers: only those a double holds exactly
            const py::array wide = array.attr("astype")(c.kind == 'i' ? "int64" : "uint64");
            const py::array back = wide.attr("astype")("float64").attr("astype")(wide.dtype());
            if (!py::bool_(back.attr("__eq__")(wide).attr("all")())) {
                quarlin_sim::fail(path + ": a 64-bit integer beyond 2^53");
            }
        }
        return Node::numericMatrix(c.classId, rows, columns, columnMajorValues<double>(array));
    }
    quarlin_sim::fail(path + ": an array of " + type.attr("name").cast<std::string>() +
                      "; a snapshot holds real numeric arrays");
}

Node treeFrom(const py::handle& value, const char* name) {
    try {
        return fromPython(value, name, 0);
    } catch (const Failure& failure) {
        raise("SnapshotError", py::make_tuple(failure.what()));
    }
}

// --- the scenario -----------------------------------------------------------

quarlin_sim::PmsmParams paramsOf(double rpm, double ramp, double hold, double psi, double iq, double phi0) {
    const quarlin_sim::PmsmParams params{rpm, ramp, hold, psi, iq, phi0};
    if (const char* problem = quarlin_sim::pmsmParamsProblem(params)) {
        // The simulator words its problems as options; here they are arguments.
        std::string text = problem;
        for (size_t at; (at = text.find("--")) != std::string::npos;) text.erase(at, 2);
        throw py::value_error(text);
    }
    return params;
}

// --- one block --------------------------------------------------------------

std::unique_ptr<subhost::Module> loadModule(const std::string& path) {
    try {
        return quarlin_sim::loadModule(path);
    } catch (const Failure& failure) {
        raise("ModuleError", py::make_tuple(failure.what()));
    }
}

class BlockCore {
public:
    // Loads the module and brings a block up on it.  A block that fails to
    // come up stays closed: the Python object is whole either way.
    void open(const std::string& modulePath) {
        if (host_) throw py::value_error("the block is already open");
        module_ = loadModule(modulePath);
        guarded([&] {
            auto host = std::make_unique<quarlin_sim::HostBlock>(*module_);
            checksum_ = host->stateChecksum();
            host_ = std::move(host);
        });
    }

    // The outputs of one step on these inputs, each rounded to binary32.
    py::tuple step(double iAlpha, double iBeta, double vAlpha, double vBeta) {
        quarlin_sim::HostBlock& host = opened();
        const std::array<float, 4> inputs = {static_cast<float>(iAlpha), static_cast<float>(iBeta),
                                             static_cast<float>(vAlpha), static_cast<float>(vBeta)};
        quarlin_sim::HostBlock::StepResult result;
        guarded([&] { host.step(step_, inputs, result, false); });
        ++step_;
        return py::make_tuple(result.outputs[0], result.outputs[1]);
    }

    // One step per row of an (N, 4) binary32 array.  Returns the outputs
    // (N, 2) and, when asked, the states (N, 7) and run flags (N, 3) as the
    // data map shows them between each step's output and update.
    py::tuple run(const py::array_t<float, py::array::c_style>& inputs, bool logStates) {
        quarlin_sim::HostBlock& host = opened();
        if (inputs.ndim() != 2 || inputs.shape(1) != 4) throw py::value_error("inputs must have the shape (N, 4)");
        const auto rows = static_cast<size_t>(inputs.shape(0));
        py::array_t<float> outputs({rows, size_t{2}});
        py::array_t<float> states(logStates ? std::vector<size_t>{rows, size_t{subhost::kNumStates}}
                                            : std::vector<size_t>{0, size_t{subhost::kNumStates}});
        py::array_t<int8_t> flags(logStates ? std::vector<size_t>{rows, size_t{subhost::kNumRunFlags}}
                                            : std::vector<size_t>{0, size_t{subhost::kNumRunFlags}});
        const float* in = inputs.data();
        float* out = outputs.mutable_data();
        float* stateOut = states.mutable_data();
        int8_t* flagOut = flags.mutable_data();
        quarlin_sim::HostBlock::StepResult result;
        guarded([&] {
            for (size_t i = 0; i < rows; ++i) {
                if (i % kSignalCheckEvery == 0 && PyErr_CheckSignals() != 0) throw py::error_already_set();
                const std::array<float, 4> sample = {in[4 * i], in[4 * i + 1], in[4 * i + 2], in[4 * i + 3]};
                host.step(step_, sample, result, logStates);
                ++step_;
                out[2 * i] = result.outputs[0];
                out[2 * i + 1] = result.outputs[1];
                if (logStates) {
                    std::copy(result.states.begin(), result.states.end(), stateOut + subhost::kNumStates * i);
                    std::copy(result.runFlags.begin(), result.runFlags.end(), flagOut + subhost::kNumRunFlags * i);
                }
            }
        });
        return py::make_tuple(outputs, states, flags);
    }

    // The states and run flags as the data map shows them now.
    py::tuple states() {
        quarlin_sim::HostBlock& host = opened();
        return py::make_tuple(host.block().states(), host.block().runFlags());
    }

    void reset() {
        quarlin_sim::HostBlock& host = opened();
        if (const subhost::CallResult result = host.block().reset(); !result) {
            raiseFailure(BlockFailure("the block failed to reset: " + result.describe(), result.hostError));
        }
        step_ = 0;
    }

    py::object save() {
        quarlin_sim::HostBlock& host = opened();
        Node tree;
        guarded([&] { tree = host.saveSnapshot(); });
        return toPython(tree);
    }

    void restore(const py::handle& tree, const std::string& source) {
        quarlin_sim::HostBlock& host = opened();
        const Node snapshot = treeFrom(tree, "snapshot");
        try {
            host.restoreSnapshot(snapshot, source);
        } catch (const BlockFailure& failure) {
            if (failure.hostError()) raiseFailure(failure);
            raise("SnapshotError", py::make_tuple(failure.what()));
        } catch (const Failure& failure) {
            raise("SnapshotError", py::make_tuple(failure.what()));
        }
    }

    void close() {
        if (!host_) return;
        // The block is gone whatever its termination reports.
        const std::unique_ptr<quarlin_sim::HostBlock> host = std::move(host_);
        guarded([&] { host->finish(); });
    }

    bool closed() const { return !host_; }
    uint64_t stepCount() const { return step_; }
    void setStepCount(uint64_t step) { step_ = step; }
    std::array<uint32_t, 4> checksum() const { return checksum_; }
    std::string modulePath() const { return module_ ? module_->path() : std::string(); }

    // A host whose wiring of input `port` broke: the block's next read of it
    // ends in a host error.
    void disconnectInput(int port) { opened().block().host().clearInputSignal(port); }

private:
    quarlin_sim::HostBlock& opened() {
        if (!host_) throw py::value_error("the block is closed");
        return *host_;
    }

    // Declared first, so that the block ends before its module unloads.
    std::unique_ptr<subhost::Module> module_;
    std::unique_ptr<quarlin_sim::HostBlock> host_;
    uint64_t step_ = 0;
    std::array<uint32_t, 4> checksum_{};
};

py::list sizes(const std::string& modulePath) {
    const auto module = loadModule(modulePath);
    const subhost::SizesResult result = subhost::sizesQuery(*module);
    if (!result.call) raiseFailure(BlockFailure("the sizes query failed: " + result.call.describe(), result.call.hostError));
    py::list values;
    for (double v : result.sizes) {
        if (v == std::trunc(v) && std::fabs(v) < 9007199254740992.0) {
            values.append(py::int_(static_cast<int64_t>(v)));
        } else {
            values.append(py::float_(v));
        }
    }
    return values;
}

py::dict info(const std::string& modulePath) {
    const auto module = loadModule(modulePath);
    quarlin_sim::ModuleInfo info;
    guarded([&] { info = quarlin_sim::collectModuleInfo(*module); });
    const auto port = [](const quarlin_sim::PortInfo& p, const std::string& name, bool input) {
        py::dict d;
        d["name"] = name;
        d["width"] = p.width;
        d["type_id"] = p.dataTypeId;
        d["type"] = quarlin_sim::typeName(p.dataTypeId);
        if (input) d["direct_feedthrough"] = p.directFeedThrough != 0;
        return d;
    };
    py::dict out;
    out["module"] = modulePath;
    out["release_stamp"] = info.releaseStamp;
    out["interface_version"] = info.interfaceVersion;
    py::list inputs, outputs, times, states;
    for (size_t i = 0; i < info.inputs.size(); ++i) {
        inputs.append(port(info.inputs[i], i < 4 ? std::string(quarlin_sim::kInputNames[i]) : "", true));
    }
    for (size_t i = 0; i < info.outputs.size(); ++i) {
        outputs.append(port(info.outputs[i], i < 2 ? quarlin_sim::kOutputNames[i] : "", false));
    }
    for (const auto& t : info.sampleTimes) times.append(py::make_tuple(t.period, t.offset));
    out["inputs"] = inputs;
    out["outputs"] = outputs;
    out["sample_times"] = times;
    if (info.modelInfo.registered) {
        py::list entries;
        for (const auto& e : info.modelInfo.entries) {
            py::dict entry;
            entry["identifier"] = e.identifier;
            entry["kind"] = e.kind;
            entry["words"] = py::make_tuple(e.words[0], e.words[1], e.words[2]);
            entry["owner"] = e.hasOwner ? py::object(py::str(e.owner)) : py::object(py::none());
            entries.append(entry);
        }
        py::dict table;
        table["model"] = info.modelInfo.model;
        table["entries"] = entries;
        out["model_information"] = table;
    } else {
        out["model_information"] = py::none();
    }
    out["state_checksum"] = info.stateChecksum;
    for (size_t i = 0; i < info.states.size(); ++i) {
        const subhost::StateDescription& s = info.states[i];
        py::dict state;
        state["name"] = "x" + std::to_string(i);
        state["address"] = s.addressIndex;
        state["block_path"] = s.blockPath;
        state["state"] = s.name;
        state["type"] = quarlin_sim::typeName(s.hostTypeId);
        state["bytes"] = s.byteSize;
        state["value"] = i < info.stateValues.size() ? py::object(py::float_(info.stateValues[i])) : py::none();
        states.append(state);
    }
    out["states"] = states;
    return out;
}

}  // namespace

PYBIND11_MODULE(_quarlin, m) {
    m.doc() = "The host engine driving the Quarlin_msp module; used through the quarlin package.";

    py::class_<BlockCore>(m, "BlockCore", "One block on a loaded module, bound and set up through system initialize.")
        .def(py::init<>())
        .def("_open", &BlockCore::open, py::arg("module_path"))
        .def("step", &BlockCore::step, py::arg("i_alpha"), py::arg("i_beta"), py::arg("v_alpha"), py::arg("v_beta"),
             "step(i_alpha, i_beta, v_alpha, v_beta) -> (angle, speed_rpm)\n\n"
             "Runs one step of 1e-4 s: the four inputs (each rounded to binary32), the\n"
             "output method, then the update.  Returns the two outputs as Python floats\n"
             "holding their binary32 values.")
        .def("_run", &BlockCore::run, py::arg("inputs"), py::arg("log_states"))
        .def("_states", &BlockCore::states)
        .def("_reset", &BlockCore::reset)
        .def("_save", &BlockCore::save)
        .def("_restore", &BlockCore::restore, py::arg("tree"), py::arg("source"))
        .def("_close", &BlockCore::close)
        .def("_disconnect_input", &BlockCore::disconnectInput, py::arg("port"))
        .def_property_readonly("closed", &BlockCore::closed, "True once the block is closed.")
        .def_property("_step", &BlockCore::stepCount, &BlockCore::setStepCount)
        .def_property_readonly("_checksum", &BlockCore::checksum)
        .def_property_readonly("module_path", &BlockCore::modulePath, "The path of the module the block runs on.");

    m.def("_sizes", &sizes, py::arg("module_path"));
    m.def("_info", &info, py::arg("module_path"));
    m.def("_snapshot_digest", [](const py::handle& snapshot, const py::handle& resume) {
        return quarlin_sim::snapshotDigest(treeFrom(snapshot, "snapshot"), treeFrom(resume, "resume"));
    });
    m.def(
        "_pmsm",
        [](double rpm, double ramp, double hold, double psi, double iq, double phi0, int64_t steps) {
            quarlin_sim::PmsmScenario scenario(paramsOf(rpm, ramp, hold, psi, iq, phi0));
            const size_t rows = steps < 0 ? scenario.defaultSteps() : static_cast<size_t>(steps);
            py::array_t<float> inputs({rows, size_t{4}});
            py::array_t<double> angle(rows), speed(rows);
            float* in = inputs.mutable_data();
            double* a = angle.mutable_data();
            double* s = speed.mutable_data();
            for (size_t k = 0; k < rows; ++k) {
                const quarlin_sim::PmsmSample sample = scenario.sample(k);
                std::copy(sample.input.begin(), sample.input.end(), in + 4 * k);
                a[k] = sample.trueAngle;
                s[k] = sample.trueSpeedRpm;
                scenario.advance(k);
            }
            return py::make_tuple(inputs, angle, speed);
        },
        py::arg("rpm"), py::arg("ramp"), py::arg("hold"), py::arg("psi"), py::arg("iq"), py::arg("phi0"),
        py::arg("steps"));
    m.def(
        "_pmsm_phase",
        [](double rpm, double ramp, double hold, double psi, double iq, double phi0, uint64_t step) {
            quarlin_sim::PmsmScenario scenario(paramsOf(rpm, ramp, hold, psi, iq, phi0));
            for (uint64_t k = 0; k < step; ++k) scenario.advance(k);
            return scenario.phase();
        },
        py::arg("rpm"), py::arg("ramp"), py::arg("hold"), py::arg("psi"), py::arg("iq"), py::arg("phi0"),
        py::arg("step"));
    m.def("_input_digest", [](const py::array_t<float, py::array::c_style>& inputs, uint64_t rows) {
        if (inputs.ndim() != 2 || inputs.shape(1) != 4) throw py::value_error("inputs must have the shape (N, 4)");
        quarlin_sim::InputTable table;
        table.rows.resize(static_cast<size_t>(inputs.shape(0)));
        if (!table.rows.empty()) std::memcpy(table.rows.data(), inputs.data(), table.rows.size() * sizeof(quarlin_sim::InputSample));
        return quarlin_sim::inputDigest(table, rows);
    });
    m.attr("SNAPSHOT_FORMAT") = quarlin_sim::kSnapshotFormat;
    m.attr("STEP_SECONDS") = quarlin_sim::kStepSeconds;
    m.attr("STEPS_PER_SECOND") = quarlin_sim::kStepsPerSecond;
}
