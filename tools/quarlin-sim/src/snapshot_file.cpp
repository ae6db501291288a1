#include "snapshot_file.h"

#include <cmath>

#include "failure.h"
#include "mat_file.h"

namespace quarlin_sim {

namespace {

constexpr double kLargestExactInteger = 9007199254740992.0;  // 2^53

// Field names of the scenario parameters, in PmsmParams order.
struct ParamField {
    const char* name;
    double PmsmParams::*member;
};
constexpr ParamField kParamFields[] = {
    {"rpm", &PmsmParams::rpm}, {"ramp", &PmsmParams::ramp}, {"hold", &PmsmParams::hold},
    {"psi", &PmsmParams::psi}, {"iq", &PmsmParams::iq},     {"phi0", &PmsmParams::phi0},
};

const char* sourceName(InputSource source) { return source == InputSource::pmsm ? "pmsm" : "csv"; }

}  // namespace

void writeSnapshotFile(const std::string& path, const SnapshotFile& file) {
    const ResumeInfo& r = file.resume;
    std::vector<std::string> names = {"format", "step", "state_checksum", "source"};
    std::vector<Node> fields = {
        Node::textRow(kSnapshotFormat),
        Node::scalar(static_cast<double>(r.step)),
        Node::realRow({r.stateChecksum.begin(), r.stateChecksum.end()}),
        Node::textRow(sourceName(r.source)),
    };
    if (r.source == InputSource::pmsm) {
        names.push_back("phase");
        fields.push_back(Node::scalar(r.phase));
        for (const auto& f : kParamFields) {
            names.push_back(f.name);
            fields.push_back(Node::scalar(r.params.*f.member));
        }
    }
    writeMatFile(path, {{"snapshot", file.snapshot},
                        {"resume", Node::structure(std::move(names), std::move(fields))}});
}

SnapshotFile readSnapshotFile(const std::string& path) {
    auto variables = readMatFile(path, {"snapshot", "resume"});
    const auto foreign = [&](const std::string& why) -> SnapshotFile {
        fail(path + " is not a quarlin-sim snapshot: " + why);
    };
    const auto resume = variables.find("resume");
    const auto snapshot = variables.find("snapshot");
    if (resume == variables.end()) return foreign("it has no variable \"resume\"");
    if (snapshot == variables.end()) return foreign("it has no variable \"snapshot\"");
    const Node& info = resume->second;
    if (info.kind != Node::Kind::structure) return foreign("\"resume\" is not a struct");
    const Node* format = info.field("format");
    if (format == nullptr || format->kind != Node::Kind::text || format->text != kSnapshotFormat) {
        return foreign("\"resume.format\" is not \"" + std::string(kSnapshotFormat) + "\"");
    }

    const auto number = [&](const char* name) {
        const Node* n = info.field(name);
        if (n == nullptr || !n->isScalar() || !std::isfinite(n->reals[0])) {
            fail(path + " is damaged: resume." + name + " is not a finite number");
        }
        return n->reals[0];
    };

    SnapshotFile file;
    ResumeInfo& r = file.resume;
    const double step = number("step");
    if (step < 0 || step > kLargestExactInteger || step != std::floor(step)) {
        fail(path + " is damaged: resume.step is not a step count");
    }
    r.step = static_cast<uint64_t>(step);

    const Node* checksum = info.field("state_checksum");
    if (checksum == nullptr || checksum->kind != Node::Kind::reals || checksum->reals.size() != 4) {
        fail(path + " is damaged: resume.state_checksum is not four numbers");
    }
    for (size_t i = 0; i < 4; ++i) {
        const double w = checksum->reals[i];
        if (!(w >= 0 && w <= 4294967295.0 && w == std::floor(w))) {
            fail(path + " is damaged: resume.state_checksum is not four 32-bit words");
        }
        r.stateChecksum[i] = static_cast<uint32_t>(w);
    }

    const Node* source = info.field("source");
    if (source != nullptr && source->kind == Node::Kind::text && source->text == "pmsm") {
        r.source = InputSource::pmsm;
        r.phase = number("phase");
        for (const auto& f : kParamFields) r.params.*f.member = number(f.name);
        if (const char* problem = pmsmParamsProblem(r.params)) {
            fail(path + " is damaged: its scenario is unusable: " + problem);
        }
    } else if (source != nullptr && source->kind == Node::Kind::text && source->text == "csv") {
        r.source = InputSource::csv;
    } else {
        fail(path + " is damaged: resume.source is neither \"pmsm\" nor \"csv\"");
    }

    file.snapshot = std::move(snapshot->second);
    if (file.snapshot.kind != Node::Kind::structure) fail(path + " is damaged: \"snapshot\" is not a struct");
    return file;
}

}  // namespace quarlin_sim
